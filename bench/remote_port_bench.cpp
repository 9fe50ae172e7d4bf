// A line through ser2net on loopback against the same line opened here.
//
// The line is a socat pty pair; its far end is held by the benchmark. "local" opens the near end
// itself; "rfc2217" and "raw" reach it through a ser2net serving it (Telnet with RFC 2217, raw TCP)
// as configured out of the box; "tuned" is rfc2217 with ser2net's buffers at 64 KB and no wait for
// more characters before it sends (chardelay: false).
//   Throughput: 1 MB each way, written by the library in 4 KB SioPuts and read with SioWaitRx and
//   SioGets. The far end reads and writes as fast as it can ("fast"), or at the pace of a 3 Mbit/s
//   line ("3M", 300,000 bytes/s: a fast USB adapter's top rate). Counter write_us: the mean time of
//   one SioPuts of 4 KB.
//   Latency: one 64-byte write until all of it has arrived at the other end, each way.
//   XMODEM-1K: 100 KB between our engine and lrzsz on the far end, paced at 115200 bit/s by linesim
//   as xmodem_bench paces its line, our engine sending (to rx) and receiving (from sx).
#include <benchmark/benchmark.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

#include "serial/devices.h"
#include "serial/net_connect.h"
#include "serial/net_ports.h"
#include "serial/ser.h"
#include "tests/support/pty_pair.h"
#include "tests/support/ser2net_server.h"
#include "tools/xmodem_run/xmodem_run.h"
#include "xmodem/serxydrv.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kPort = 2;  // COM3
constexpr std::size_t kMegabyte = 1 << 20;
constexpr std::size_t kChunk = 4096;
constexpr std::size_t kFileSize = 100 * 1024;

enum class Path { Local, Rfc2217, Tuned, Raw };
constexpr double kFast = 0;
constexpr double kLine3M = 300000;  // bytes a second

constexpr const char* kTuned = "    chardelay: false\n    dev-to-net-bufsize: 65536\n    net-to-dev-bufsize: 65536\n";

double seconds_since(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

// The line, with the port bound and opened along `path`; closed and unbound at the end.
struct Line {
  explicit Line(Path path) : server("127.0.0.1", path == Path::Tuned ? kTuned : "") {
    const std::string address = path == Path::Local ? server.device()
                                : path == Path::Raw  ? server.raw_address()
                                                     : server.rfc2217_address();
    serial::bind_device(kPort, address);
    for (int tries = 0; tries < 50 && opened != TORVEL_OK; ++tries) {
      opened = serial::open_port_waiting(kPort, 10000);
      if (opened != TORVEL_OK) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    SioBaud(kPort, 115200);
  }
  ~Line() {
    SioDone(kPort);
    serial::net::drop_connection(kPort);
    serial::bind_device(kPort, "");
  }
  testsupport::Ser2net server;
  int opened = TORVEL_WIN32ERR;
};

// Waits until `done` bytes may have crossed a line of `pace` bytes a second since `start`.
void keep_pace(Clock::time_point start, std::size_t done, double pace) {
  if (pace > 0) std::this_thread::sleep_until(start + std::chrono::duration<double>(static_cast<double>(done) / pace));
}

void drain_far(int fd, std::size_t want, double pace = kFast) {
  char buffer[65536];
  const auto start = Clock::now();
  for (std::size_t got = 0; got < want;) {
    keep_pace(start, got, pace);
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 10000) <= 0) return;
    const std::size_t most = pace > 0 ? kChunk : sizeof buffer;
    const ssize_t n = ::read(fd, buffer, std::min(most, want - got));
    if (n > 0) got += static_cast<std::size_t>(n);
  }
}

void fill_far(int fd, std::size_t size, double pace) {
  static const std::string chunk(65536, '\xA5');
  const auto start = Clock::now();
  for (std::size_t sent = 0; sent < size;) {
    keep_pace(start, sent, pace);
    const std::size_t most = pace > 0 ? kChunk : chunk.size();
    const ssize_t n = ::write(fd, chunk.data(), std::min(most, size - sent));
    if (n > 0) {
      sent += static_cast<std::size_t>(n);
      continue;
    }
    pollfd p{fd, POLLOUT, 0};
    if (::poll(&p, 1, 10000) <= 0) return;
  }
}

std::size_t read_port(std::size_t want) {
  static char block[65536];
  std::size_t got = 0;
  while (got < want) {
    if (SioWaitRx(kPort, -1, 10000) != 1) break;
    const int n = SioGets(kPort, block, sizeof block);
    if (n < 0) break;
    got += static_cast<std::size_t>(n);
  }
  return got;
}

void BM_Send(benchmark::State& state, Path path, double pace) {
  Line line(path);
  if (line.opened != TORVEL_OK) return state.SkipWithError(serial::open_failure(kPort).c_str());
  const std::string chunk(kChunk, '\x5A');
  double writing = 0;
  std::size_t writes = 0;
  for (auto _ : state) {
    std::thread far([&] { drain_far(line.server.far(), kMegabyte, pace); });
    for (std::size_t sent = 0; sent < kMegabyte; sent += kChunk, ++writes) {
      const auto start = Clock::now();
      if (SioPuts(kPort, chunk.data(), kChunk) != static_cast<int>(kChunk)) state.SkipWithError("write failed");
      writing += seconds_since(start);
    }
    far.join();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kMegabyte));
  state.counters["write_us"] = writing * 1e6 / static_cast<double>(std::max<std::size_t>(writes, 1));
}

void BM_Receive(benchmark::State& state, Path path, double pace) {
  Line line(path);
  if (line.opened != TORVEL_OK) return state.SkipWithError(serial::open_failure(kPort).c_str());
  for (auto _ : state) {
    std::thread far([&] { fill_far(line.server.far(), kMegabyte, pace); });
    if (read_port(kMegabyte) != kMegabyte) state.SkipWithError("bytes lost");
    far.join();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kMegabyte));
}

// One 64-byte message until all of it has arrived at the other end.
void BM_Latency(benchmark::State& state, Path path, bool outbound) {
  Line line(path);
  if (line.opened != TORVEL_OK) return state.SkipWithError(serial::open_failure(kPort).c_str());
  const std::string message(64, '\x42');
  for (auto _ : state) {
    if (outbound) {
      SioPuts(kPort, message.data(), static_cast<unsigned>(message.size()));
      drain_far(line.server.far(), message.size());
    } else {
      line.server.write(message);
      if (read_port(message.size()) != message.size()) state.SkipWithError("bytes lost");
    }
  }
}

// Our engine against lrzsz on the far end of the line, paced at 115200 bit/s.
void BM_XModem1K(benchmark::State& state, Path path, bool send) {
  Line line(path);
  if (line.opened != TORVEL_OK) return state.SkipWithError(serial::open_failure(kPort).c_str());
  const std::string original = xmodemrun::random_bytes(kFileSize, 42);
  const auto root = std::filesystem::temp_directory_path() / ("quillport-netbench-" + std::to_string(::getpid()));
  linesim::Options paced;
  paced.baud = 115200;
  for (auto _ : state) {
    std::filesystem::remove_all(root);
    std::filesystem::create_directories(root / "far");
    const std::string ours = (root / "ours.bin").string();
    const std::string far = (root / "far").string();
    xmodemrun::write_file(send ? ours : far + "/file.bin", original);
    const xmodemrun::Peer peer = (send ? xmodemrun::rx : xmodemrun::sx)(xmodemrun::Check::Crc1K, "file.bin");
    linesim::Program program(peer.argv, far, far + "/.peer.log");
    program.wait_started(10000);
    linesim::Relay relay({line.server.far(), line.server.far()}, program.end(), paced);
    const auto start = Clock::now();
    xyAcquire(kPort);
    if (send)
      xyStartTx(kPort, ours.c_str(), 1, 0);
    else
      xyStartRx(kPort, ours.c_str(), 'C', 0);
    while (xyDriver(kPort) != 0) {
    }
    const int outcome = xyGetParameter(kPort, XY_GET_ERROR_CODE);
    xyRelease(kPort);
    state.SetIterationTime(seconds_since(start));
    const bool copied = xmodemrun::is_padded_copy(xmodemrun::read_file(send ? far + "/file.bin" : ours), original);
    if (program.wait(20000) != 0 || outcome != 0 || !copied) state.SkipWithError("transfer failed");
    relay.stop();
    SioRxClear(kPort);
  }
  std::filesystem::remove_all(root);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kFileSize));
}

#define MOVE(bench, name, ...) \
  BENCHMARK_CAPTURE(bench, name, __VA_ARGS__)->UseRealTime()->Unit(benchmark::kMillisecond)

MOVE(BM_Send, local_fast, Path::Local, kFast);
MOVE(BM_Send, rfc2217_fast, Path::Rfc2217, kFast);
MOVE(BM_Send, tuned_fast, Path::Tuned, kFast);
MOVE(BM_Send, raw_fast, Path::Raw, kFast);
MOVE(BM_Receive, local_fast, Path::Local, kFast);
MOVE(BM_Receive, rfc2217_fast, Path::Rfc2217, kFast);
MOVE(BM_Receive, tuned_fast, Path::Tuned, kFast);
MOVE(BM_Receive, raw_fast, Path::Raw, kFast);
MOVE(BM_Send, local_3M, Path::Local, kLine3M)->Iterations(2);
MOVE(BM_Send, rfc2217_3M, Path::Rfc2217, kLine3M)->Iterations(2);
MOVE(BM_Receive, local_3M, Path::Local, kLine3M)->Iterations(2);
MOVE(BM_Receive, rfc2217_3M, Path::Rfc2217, kLine3M)->Iterations(2);
BENCHMARK_CAPTURE(BM_Latency, local_out, Path::Local, true)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_Latency, rfc2217_out, Path::Rfc2217, true)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_Latency, local_in, Path::Local, false)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_Latency, rfc2217_in, Path::Rfc2217, false)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_XModem1K, local_send, Path::Local, true)->UseManualTime()->Iterations(2)->Unit(benchmark::kSecond);
BENCHMARK_CAPTURE(BM_XModem1K, rfc2217_send, Path::Rfc2217, true)->UseManualTime()->Iterations(2)->Unit(benchmark::kSecond);
BENCHMARK_CAPTURE(BM_XModem1K, tuned_send, Path::Tuned, true)->UseManualTime()->Iterations(2)->Unit(benchmark::kSecond);
BENCHMARK_CAPTURE(BM_XModem1K, local_receive, Path::Local, false)->UseManualTime()->Iterations(2)->Unit(benchmark::kSecond);
BENCHMARK_CAPTURE(BM_XModem1K, rfc2217_receive, Path::Rfc2217, false)->UseManualTime()->Iterations(2)->Unit(benchmark::kSecond);
BENCHMARK_CAPTURE(BM_XModem1K, tuned_receive, Path::Tuned, false)->UseManualTime()->Iterations(2)->Unit(benchmark::kSecond);

}  // namespace
