#include "tests/support/pty_program.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <stdexcept>

namespace terminal_test {

namespace {

std::filesystem::path make_home() {
  std::string pattern = (std::filesystem::temp_directory_path() / "quillport-pty-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("no temporary folder");
  return pattern;
}

[[noreturn]] void run_child(const std::vector<std::string>& argv, const std::vector<std::string>& environment,
                            const std::filesystem::path& home) {
  std::vector<std::string> env = {"PATH=/usr/local/bin:/usr/bin:/bin", "TERM=xterm-256color", "LANG=C.UTF-8",
                                  "HOME=" + home.string()};
  env.insert(env.end(), environment.begin(), environment.end());
  std::vector<char*> args;
  std::vector<char*> vars;
  for (const auto& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  for (const auto& var : env) vars.push_back(const_cast<char*>(var.c_str()));
  args.push_back(nullptr);
  vars.push_back(nullptr);
  if (chdir(home.c_str()) == 0) execvpe(args[0], args.data(), vars.data());
  _exit(127);
}

using Clock = std::chrono::steady_clock;

std::chrono::milliseconds left(Clock::time_point deadline) {
  return std::max(0ms, std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()));
}

}  // namespace

PtyProgram::PtyProgram(const std::vector<std::string>& argv, int rows, int columns,
                       const std::vector<std::string>& environment)
    : home_(make_home()) {
  winsize size{};
  size.ws_row = static_cast<unsigned short>(rows);
  size.ws_col = static_cast<unsigned short>(columns);
  pid_ = forkpty(&master_, nullptr, nullptr, &size);
  if (pid_ < 0) throw std::runtime_error("forkpty failed");
  if (pid_ == 0) run_child(argv, environment, home_);
  fcntl(master_, F_SETFD, FD_CLOEXEC);  // programs the test starts later must not hold this line open
}

PtyProgram::~PtyProgram() {
  if (!ended_) kill(pid_, SIGKILL);
  close(master_);
  waitpid(pid_, nullptr, 0);
  std::error_code ignored;
  std::filesystem::remove_all(home_, ignored);
}

bool PtyProgram::read_some(std::chrono::milliseconds timeout) {
  if (ended_) return false;
  pollfd ready{master_, POLLIN, 0};
  if (poll(&ready, 1, static_cast<int>(timeout.count())) <= 0) return false;
  char buffer[65536];
  const ssize_t got = read(master_, buffer, sizeof buffer);
  if (got <= 0) {  // EIO: every holder of the program's side has closed it
    ended_ = got == 0 || (errno != EINTR && errno != EAGAIN);
    return false;
  }
  output_.append(buffer, static_cast<std::size_t>(got));
  return true;
}

bool PtyProgram::wait_for(std::string_view text, std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  while (output_.find(text, mark_) == std::string::npos) {
    if (ended_ || Clock::now() >= deadline) return false;
    read_some(std::min(left(deadline), 100ms));
  }
  mark_ = output_.find(text, mark_) + text.size();
  found_end_ = mark_;
  return true;
}

void PtyProgram::settle(std::chrono::milliseconds quiet, std::chrono::milliseconds limit) {
  const auto deadline = Clock::now() + limit;
  while (!ended_ && Clock::now() < deadline && read_some(std::min(quiet, left(deadline)))) {
  }
}

void PtyProgram::type(std::string_view bytes) {
  mark_ = output_.size();
  while (!bytes.empty()) {
    const ssize_t put = write(master_, bytes.data(), bytes.size());
    if (put <= 0) throw std::runtime_error("the program's terminal takes no input");
    bytes.remove_prefix(static_cast<std::size_t>(put));
  }
}

bool PtyProgram::finish(std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  while (!ended_ && Clock::now() < deadline) read_some(std::min(left(deadline), 100ms));
  return ended_;
}

std::string recorded_stream(const std::vector<std::string>& argv, int rows, int columns, std::size_t bytes) {
  PtyProgram program(argv, rows, columns);
  program.finish(std::chrono::seconds(60));
  std::string stream = program.output();
  if (stream.empty()) return stream;
  while (stream.size() < bytes) stream += stream.substr(0, bytes - stream.size());
  return stream;
}

}  // namespace terminal_test
