#include "tools/xmodem_run/xmodem_run.h"

#include <chrono>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <sstream>

#include "serial/devices.h"
#include "serial/ser.h"
#include "xmodem/serxydrv.h"

namespace xmodemrun {

namespace {

constexpr int PEER_EXIT_MS = 20000;  // how long a peer may take to end after our engine has
constexpr char NAK_CHAR = 0x15;

using Clock = std::chrono::steady_clock;

double since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

bool wants_pty(const Peer& peer) {
  for (const std::string& arg : peer.argv)
    if (arg == "{pty}") return true;
  return false;
}

// The peer started on its own pseudo-terminal or on pipes; its end of the line.
struct RunningPeer {
  RunningPeer(const Peer& peer, const std::string& dir, const std::string& log) : log_path(log) {
    Peer args = peer;
    if (wants_pty(peer)) {
      pty = std::make_unique<linesim::Pty>();
      for (std::string& arg : args.argv)
        if (arg == "{pty}") arg = pty->slave_path();
    }
    program = std::make_unique<linesim::Program>(args.argv, dir, log);
  }
  linesim::End end() const { return pty ? pty->end() : program->end(); }
  std::string log() const { return read_file(log_path); }

  std::string log_path;
  std::unique_ptr<linesim::Pty> pty;
  std::unique_ptr<linesim::Program> program;
};

std::string log_path(const std::string& dir, const char* who) { return dir + "/." + who + ".log"; }

}  // namespace

std::string name(Check check) {
  switch (check) {
    case Check::Sum: return "checksum";
    case Check::Crc: return "crc";
    case Check::Crc1K: return "1k";
  }
  return "?";
}

Peer rx(Check check, const std::string& file) {
  if (check == Check::Sum) return {{"rx", "-q", file}};
  return {{"rx", "-q", "-c", file}};
}

Peer sx(Check check, const std::string& file) {
  if (check == Check::Crc1K) return {{"sx", "-q", "-k", file}};
  return {{"sx", "-q", file}};
}

Peer engine_program(const std::string& program, bool send, Check check, const std::string& file) {
  return {{program, send ? "send" : "receive", "--" + name(check), "{pty}", file}};
}

Result run_engine(int port, bool send, Check check, const std::string& file, const Peer& peer,
                  const std::string& peer_dir, const linesim::Options& line,
                  const std::function<void()>& each_call) {
  Result result;
  linesim::Pty ours;
  serial::bind_device(port, ours.slave_path());
  const auto start = Clock::now();
  {
    RunningPeer other(peer, peer_dir, log_path(peer_dir, "peer"));
    linesim::Relay relay(ours.end(), other.end(), line);
    if (SioReset(port, 2048, 2048) == TORVEL_OK && xyAcquire(port) == 0) {
      if (send)
        xyStartTx(port, file.c_str(), check == Check::Crc1K ? 1 : 0, 0);
      else
        xyStartRx(port, file.c_str(), check == Check::Sum ? NAK_CHAR : 'C', 0);
      // Back to back, as the transfer thread drives it.
      while (xyDriver(port) != 0)
        if (each_call) each_call();
      if (each_call) each_call();
      result.engine = xyGetParameter(port, XY_GET_ERROR_CODE);
      xyRelease(port);
    }
    result.seconds = since(start);
    result.peer = other.program->wait(PEER_EXIT_MS);
    other.program->kill();
    relay.stop();
    result.to_peer = relay.a_to_b();
    result.from_peer = relay.b_to_a();
    result.peer_log = other.log();
    SioDone(port);
  }
  serial::bind_device(port, "");
  return result;
}

Result run_programs(const Peer& sender, const std::string& sender_dir, const Peer& receiver,
                    const std::string& receiver_dir, const linesim::Options& line) {
  Result result;
  const auto start = Clock::now();
  RunningPeer from(sender, sender_dir, log_path(sender_dir, "sender"));
  RunningPeer to(receiver, receiver_dir, log_path(receiver_dir, "receiver"));
  linesim::Relay relay(from.end(), to.end(), line);
  result.peer = to.program->wait(5 * 60 * 1000);
  result.seconds = since(start);
  result.engine = from.program->wait(PEER_EXIT_MS);
  relay.stop();
  result.to_peer = relay.a_to_b();
  result.from_peer = relay.b_to_a();
  result.peer_log = to.log();
  return result;
}

std::string padded(const std::string& bytes, std::size_t packet) {
  std::string out = bytes;
  if (out.size() % packet != 0) out.append(packet - out.size() % packet, '\x1A');
  return out;
}

bool is_padded_copy(const std::string& received, const std::string& original) {
  if (received.size() < original.size() || received.size() % 128 != 0) return false;
  if (received.size() - original.size() >= 1024) return false;
  if (received.compare(0, original.size(), original) != 0) return false;
  return received.find_first_not_of('\x1A', original.size()) == std::string::npos;
}

std::string random_bytes(std::size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::string bytes(size, '\0');
  for (char& byte : bytes) byte = static_cast<char>(random());
  return bytes;
}

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void write_file(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace xmodemrun
