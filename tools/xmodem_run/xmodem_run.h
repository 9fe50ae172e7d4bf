// Runs XMODEM transfers over a line simulated by linesim: our engine on a pseudo-terminal against a
// peer program (lrzsz's sx or rx on pipes, or another engine on its own pseudo-terminal), or two
// programs against each other. Shared by the interop tests, the benchmark and the noisy-line tool.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "tools/linesim/line_sim.h"

namespace xmodemrun {

enum class Check { Sum, Crc, Crc1K };  // 128-byte packets with checksum or CRC; 1K packets with CRC
std::string name(Check check);

// A peer program. "{pty}" in argv stands for the path of its own pseudo-terminal, and puts it on
// one; otherwise it talks on its stdin and stdout.
struct Peer {
  std::vector<std::string> argv;
};
Peer rx(Check check, const std::string& file);  // receives `file` in its directory
Peer sx(Check check, const std::string& file);
// This project's quillport-xmodem program (path given) sending or receiving `file`.
Peer engine_program(const std::string& program, bool send, Check check, const std::string& file);

struct Result {
  int engine = 1;  // our engine's outcome (0 success), when it took part
  int peer = -1;   // the peer's exit status; -1 when it did not end
  double seconds = 0;
  std::string peer_log;  // what the peer wrote to stderr
  linesim::Counts to_peer;
  linesim::Counts from_peer;
};

// Our engine on serial port `port` sends `file`, or receives into it, against `peer` running in
// `peer_dir`. `each_call` runs after every xyDriver call (tests read the messages there).
Result run_engine(int port, bool send, Check check, const std::string& file, const Peer& peer,
                  const std::string& peer_dir, const linesim::Options& line,
                  const std::function<void()>& each_call = {});

// Two programs: `sender` in `sender_dir` to `receiver` in `receiver_dir`; `peer` is the receiver's
// exit status, `engine` the sender's.
Result run_programs(const Peer& sender, const std::string& sender_dir, const Peer& receiver,
                    const std::string& receiver_dir, const linesim::Options& line);

// The original file padded with 0x1A to a whole number of `packet`-byte packets, as a receiver
// that writes whole packets stores it.
std::string padded(const std::string& bytes, std::size_t packet);
// Whether `received` is `original` followed by 0x1A padding of less than one 1K packet, to a
// whole number of 128-byte packets.
bool is_padded_copy(const std::string& received, const std::string& original);
// `size` bytes from a generator seeded with `seed`: the same seed gives the same file.
std::string random_bytes(std::size_t size, unsigned seed);
std::string read_file(const std::string& path);
void write_file(const std::string& path, const std::string& bytes);

}  // namespace xmodemrun
