#include "tools/linesim/line_sim.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <spawn.h>
#include <sys/eventfd.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <deque>
#include <random>
#include <stdexcept>

extern char** environ;

namespace linesim {

namespace {

constexpr std::size_t QUEUE_LIMIT = 64 * 1024;  // bytes on the line before its sender is held
constexpr int BITS_PER_BYTE = 10;                // start, 8 data, stop

std::int64_t now_ns() {
  timespec t{};
  ::clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<std::int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
}

void set_nonblocking(int fd) { ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK); }

struct Pending {
  std::uint8_t byte;
  std::int64_t due_ns;
};

// One direction of the line.
struct Direction {
  int in_fd;
  int out_fd;
  bool can_close;  // a program's output ends when it exits; a pty master does not
  const Faults* faults;
  std::int64_t byte_ns;
  std::mt19937_64 rng;
  std::uniform_real_distribution<double> chance{0.0, 1.0};
  std::deque<Pending> queue;
  std::int64_t line_free_ns = 0;
  std::uint64_t offset = 0;
  bool eof = false;
  bool broken = false;
  bool blocked = false;
  Counts counts;

  bool happens(double rate) { return rate > 0 && chance(rng) < rate; }

  static bool listed(const std::vector<std::uint64_t>& offsets, std::uint64_t at) {
    return std::find(offsets.begin(), offsets.end(), at) != offsets.end();
  }

  void schedule(std::uint8_t byte, std::int64_t now) {
    const std::int64_t start = std::max(now, line_free_ns);
    line_free_ns = start + byte_ns;
    queue.push_back({byte, line_free_ns});
  }

  void take(std::uint8_t byte, std::int64_t now) {
    const std::uint64_t at = offset++;
    ++counts.bytes;
    if (listed(faults->drop_at, at) || happens(faults->drop_rate)) {
      ++counts.dropped;
      return;
    }
    if (happens(faults->noise_rate)) {
      ++counts.inserted;
      schedule(static_cast<std::uint8_t>(rng()), now);
    }
    if (happens(faults->stall_rate)) {
      ++counts.stalls;
      line_free_ns = std::max(line_free_ns, now) + std::int64_t{faults->stall_ms} * 1000000;
    }
    if (faults->bit_error_rate > 0)
      for (int bit = 0; bit < 8; ++bit)
        if (happens(faults->bit_error_rate)) {
          byte = static_cast<std::uint8_t>(byte ^ (1u << bit));
          ++counts.flipped_bits;
        }
    if (listed(faults->flip_at, at)) {
      byte ^= 1;
      ++counts.flipped_bits;
    }
    schedule(byte, now);
  }

  void read_input(std::int64_t now) {
    std::uint8_t buffer[4096];
    const ssize_t n = ::read(in_fd, buffer, sizeof buffer);
    if (n > 0) {
      for (ssize_t i = 0; i < n; ++i) take(buffer[i], now);
      return;
    }
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) return;
    // A pty master reads EIO while no slave is open; it is not the end of the line.
    if (!can_close && n < 0 && errno == EIO) return;
    eof = true;
  }

  void deliver(std::int64_t now) {
    blocked = false;
    if (broken) return;
    std::uint8_t buffer[4096];
    std::size_t count = 0;
    while (count < queue.size() && count < sizeof buffer && queue[count].due_ns <= now) {
      buffer[count] = queue[count].byte;
      ++count;
    }
    if (count == 0) return;
    const ssize_t n = ::write(out_fd, buffer, count);
    if (n > 0) {
      queue.erase(queue.begin(), queue.begin() + n);
      return;
    }
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
      blocked = true;
      return;
    }
    broken = true;  // the receiving program has gone
    queue.clear();
  }

  bool done() const { return can_close && (eof || broken) && queue.empty(); }
};

}  // namespace

std::string describe(const Counts& c) {
  return std::to_string(c.bytes) + " bytes, " + std::to_string(c.flipped_bits) + " bits flipped, " +
         std::to_string(c.dropped) + " dropped, " + std::to_string(c.inserted) + " inserted, " +
         std::to_string(c.stalls) + " stalls";
}

Relay::Relay(End a, End b, const Options& options)
    : a_(a), b_(b), options_(options), stop_fd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
  // A program that exits closes its stdin: writing there must fail with EPIPE, not end this process.
  ::signal(SIGPIPE, SIG_IGN);
  for (const int fd : {a.in_fd, a.out_fd, b.in_fd, b.out_fd}) set_nonblocking(fd);
  thread_ = std::thread([this] { run(); });
}

Relay::~Relay() {
  stop();
  ::close(stop_fd_);
}

void Relay::stop() {
  if (!thread_.joinable()) return;
  const std::uint64_t one = 1;
  [[maybe_unused]] const ssize_t n = ::write(stop_fd_, &one, sizeof one);
  thread_.join();
}

bool Relay::wait_drained(int ms) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!drained_) {
    if (std::chrono::steady_clock::now() >= until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

Counts Relay::a_to_b() const {
  std::lock_guard lock(counts_mutex_);
  return counts_[0];
}

Counts Relay::b_to_a() const {
  std::lock_guard lock(counts_mutex_);
  return counts_[1];
}

void Relay::run() {
  const std::int64_t byte_ns =
      options_.baud > 0 ? std::int64_t{1000000000} * BITS_PER_BYTE / options_.baud : 0;
  Direction lines[2] = {
      {a_.in_fd, b_.out_fd, a_.in_fd != a_.out_fd, &options_.a_to_b, byte_ns,
       std::mt19937_64(options_.seed), {}, {}, 0, 0, false, false, false, {}},
      {b_.in_fd, a_.out_fd, b_.in_fd != b_.out_fd, &options_.b_to_a, byte_ns,
       std::mt19937_64(options_.seed ^ 0x9E3779B97F4A7C15ULL), {}, {}, 0, 0, false, false, false, {}},
  };
  for (;;) {
    std::int64_t now = now_ns();
    for (Direction& line : lines) line.deliver(now);
    {
      std::lock_guard lock(counts_mutex_);
      counts_[0] = lines[0].counts;
      counts_[1] = lines[1].counts;
    }
    if (lines[0].done() || lines[1].done()) drained_ = true;

    pollfd fds[5] = {{stop_fd_, POLLIN, 0}};
    int watch[5] = {-1};
    nfds_t count = 1;
    std::int64_t wait_ns = -1;
    for (int d = 0; d < 2; ++d) {
      Direction& line = lines[d];
      if (!line.eof && line.queue.size() < QUEUE_LIMIT) {
        fds[count] = {line.in_fd, POLLIN, 0};
        watch[count++] = d;
      }
      if (line.blocked) {
        fds[count] = {line.out_fd, POLLOUT, 0};
        watch[count++] = -1;
      } else if (!line.queue.empty() && !line.broken) {
        const std::int64_t until = std::max<std::int64_t>(0, line.queue.front().due_ns - now);
        wait_ns = wait_ns < 0 ? until : std::min(wait_ns, until);
      }
    }
    timespec timeout{wait_ns / 1000000000, wait_ns % 1000000000};
    if (::ppoll(fds, count, wait_ns < 0 ? nullptr : &timeout, nullptr) < 0 && errno != EINTR) return;
    if (fds[0].revents & POLLIN) return;
    now = now_ns();
    for (nfds_t i = 1; i < count; ++i)
      if (watch[i] >= 0 && (fds[i].revents & (POLLIN | POLLHUP | POLLERR)))
        lines[watch[i]].read_input(now);
  }
}

Pty::Pty() {
  char name[256] = {};
  if (::openpty(&master_, &slave_hold_, name, nullptr, nullptr) != 0)
    throw std::runtime_error(std::string("openpty: ") + std::strerror(errno));
  slave_path_ = name;
  for (const int fd : {master_, slave_hold_}) {
    termios raw{};
    ::tcgetattr(fd, &raw);
    ::cfmakeraw(&raw);
    ::tcsetattr(fd, TCSANOW, &raw);
    ::fcntl(fd, F_SETFD, FD_CLOEXEC);
  }
}

Pty::~Pty() {
  ::close(master_);
  ::close(slave_hold_);
}

Program::Program(const std::vector<std::string>& argv, const std::string& dir,
                 const std::string& stderr_path) {
  int in[2];
  int out[2];
  if (::pipe2(in, O_CLOEXEC) != 0) throw std::runtime_error(std::string("pipe: ") + std::strerror(errno));
  if (::pipe2(out, O_CLOEXEC) != 0) {
    const int err = errno;
    ::close(in[0]);
    ::close(in[1]);
    throw std::runtime_error(std::string("pipe: ") + std::strerror(err));
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in[0], 0);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  if (!stderr_path.empty())
    posix_spawn_file_actions_addopen(&actions, 2, stderr_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addchdir_np(&actions, dir.c_str());
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  const int err = ::posix_spawnp(&pid_, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(in[0]);
  ::close(out[1]);
  to_ = in[1];
  from_ = out[0];
  if (err != 0) {
    // A constructor that throws runs no destructor: the pipes are closed here.
    ::close(to_);
    ::close(from_);
    pid_ = -1;
    throw std::runtime_error(argv[0] + ": " + std::strerror(err));
  }
}

bool Program::wait_started(int ms) {
  const auto exe = [](const std::string& proc) {
    char target[4096];
    const ssize_t n = ::readlink((proc + "/exe").c_str(), target, sizeof target);
    return n > 0 ? std::string(target, static_cast<std::size_t>(n)) : std::string();
  };
  const std::string ours = exe("/proc/self");
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (pid_ > 0 && exe("/proc/" + std::to_string(pid_)) == ours) {
    if (std::chrono::steady_clock::now() >= until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

Program::~Program() {
  kill();
  ::close(to_);
  ::close(from_);
}

int Program::wait(int ms) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (pid_ > 0) {
    int status = 0;
    const pid_t done = ::waitpid(pid_, &status, WNOHANG);
    if (done == pid_) {
      pid_ = -1;
      status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      break;
    }
    if (std::chrono::steady_clock::now() >= until) return -1;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return status_;
}

void Program::kill() {
  if (pid_ <= 0) return;
  ::kill(pid_, SIGKILL);
  int status = 0;
  ::waitpid(pid_, &status, 0);
  pid_ = -1;
  status_ = 128 + SIGKILL;
}

}  // namespace linesim
