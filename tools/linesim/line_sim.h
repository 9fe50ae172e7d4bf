// A serial line between two ends, with the pace of a baud rate and seeded faults.
//
// A Relay copies bytes both ways between two ends (a pty master, or a program's stdin and stdout)
// on its own thread. Each direction models a line: a byte takes 10 bit times (start, 8 data, stop)
// at the baud rate, one after another, and on its way may lose a bit (flipped), be lost (dropped),
// be preceded by a noise byte, or wait for a stall. Random faults come from a seeded generator, so a
// seed gives the same faults for the same bytes; faults at given byte offsets are exact, for tests.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace linesim {

struct Faults {
  double bit_error_rate = 0;  // chance of each bit being flipped
  double drop_rate = 0;       // chance of each byte being lost
  double noise_rate = 0;      // chance of a random byte before each byte
  double stall_rate = 0;      // chance of the line stopping before each byte ...
  int stall_ms = 0;           // ... for this long
  std::vector<std::uint64_t> flip_at;  // offsets (0 = first byte sent) whose lowest bit flips
  std::vector<std::uint64_t> drop_at;  // offsets that are lost
};

struct Options {
  unsigned baud = 0;  // 0: bytes pass as fast as the ends take them
  std::uint64_t seed = 1;
  Faults a_to_b;
  Faults b_to_a;
};

struct Counts {
  std::uint64_t bytes = 0;  // bytes taken from the sending end
  std::uint64_t flipped_bits = 0;
  std::uint64_t dropped = 0;
  std::uint64_t inserted = 0;
  std::uint64_t stalls = 0;
};

// "1024 bytes, 3 bits flipped, 1 dropped, 0 inserted, 0 stalls"
std::string describe(const Counts& counts);

// One end of the line: where its bytes come from and where the other side's go.
struct End {
  int in_fd;
  int out_fd;
};

class Relay {
 public:
  Relay(End a, End b, const Options& options);
  ~Relay();  // stops the relay; the descriptors stay the caller's
  Relay(const Relay&) = delete;
  Relay& operator=(const Relay&) = delete;

  // Waits up to `ms` until an end that can close (a program's output) has closed and everything it
  // sent has been delivered. True when it has.
  bool wait_drained(int ms);
  void stop();
  Counts a_to_b() const;
  Counts b_to_a() const;

 private:
  void run();

  End a_;
  End b_;
  Options options_;
  int stop_fd_;
  std::atomic<bool> drained_{false};
  mutable std::mutex counts_mutex_;
  Counts counts_[2];
  std::thread thread_;
};

// A new pseudo-terminal in raw mode: the relay keeps the master, a program opens the slave path.
class Pty {
 public:
  Pty();  // throws std::runtime_error when none can be had
  ~Pty();
  Pty(const Pty&) = delete;
  Pty& operator=(const Pty&) = delete;
  int master() const { return master_; }
  const std::string& slave_path() const { return slave_path_; }
  End end() const { return {master_, master_}; }

 private:
  int master_ = -1;
  int slave_hold_ = -1;  // keeps the line up while the program has not opened it yet
  std::string slave_path_;
};

// A program run with pipes for stdin and stdout, in `dir`, its stderr into `stderr_path` ("": ours).
class Program {
 public:
  Program(const std::vector<std::string>& argv, const std::string& dir, const std::string& stderr_path);
  ~Program();  // kills the program if it still runs
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;
  End end() const { return {from_, to_}; }
  // The exit status (0..255, or 128 + signal), or -1 when it has not ended within `ms`.
  int wait(int ms);
  // Waits up to `ms` until the program has replaced the spawning process's image; true when it
  // has. Until then the child holds copies of the parent's descriptors, close-on-exec or not, and
  // with them any lock on a device the parent closes and opens again meanwhile.
  bool wait_started(int ms);
  void kill();

 private:
  pid_t pid_ = -1;
  int from_ = -1;
  int to_ = -1;
  int status_ = -1;
};

}  // namespace linesim
