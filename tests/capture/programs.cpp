#include "tests/capture/programs.h"

#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace capturetest {

namespace {

int next_output = 0;

std::vector<std::string> command_line(const std::vector<std::string>& argv, const std::vector<std::string>& env, As as) {
  std::vector<std::string> line;
  if (as == As::OrdinaryUser && running_as_root()) line = {"runuser", "-u", "nobody", "--"};
  line.push_back("env");
  line.insert(line.end(), env.begin(), env.end());
  line.insert(line.end(), argv.begin(), argv.end());
  return line;
}

int exit_status(int status) {
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return -1;
}

}  // namespace

Scratch::Scratch() {
  char pattern[] = "/tmp/quillport-capture-XXXXXX";
  if (::mkdtemp(pattern) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
  ::chmod(path_.c_str(), 0755);
  give_to_ordinary_user(path_);
}

Scratch::~Scratch() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

bool running_as_root() { return ::geteuid() == 0; }

void give_to_ordinary_user(const std::string& path) {
  if (!running_as_root()) return;
  const passwd* nobody = ::getpwnam("nobody");
  if (nobody == nullptr || ::chown(path.c_str(), nobody->pw_uid, nobody->pw_gid) != 0) return;
}

Program::Program(const std::vector<std::string>& argv, const std::vector<std::string>& env, const Scratch& scratch,
                 As as) {
  const int n = next_output++;
  out_path_ = scratch.file("program-" + std::to_string(n) + ".out");
  err_path_ = scratch.file("program-" + std::to_string(n) + ".err");
  const std::vector<std::string> line = command_line(argv, env, as);
  std::vector<char*> args;
  for (const std::string& arg : line) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, out_path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, err_path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  // A group of its own, so that ending it ends what it started (runuser, tshark, dumpcap, extcap).
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
  posix_spawnattr_setpgroup(&attributes, 0);
  const int rc = ::posix_spawnp(&pid_, args[0], &actions, &attributes, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  if (rc != 0) throw std::runtime_error("cannot start " + line[0]);
}

Program::~Program() {
  if (wait(std::chrono::milliseconds(0)) >= 0) return;
  ::kill(-pid_, SIGTERM);
  if (wait(std::chrono::seconds(5)) >= 0) return;
  ::kill(-pid_, SIGKILL);
  wait(std::chrono::seconds(5));
}

int Program::wait(std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (status_ < 0) {
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == pid_) {
      status_ = exit_status(status);
      break;
    }
    if (std::chrono::steady_clock::now() >= deadline) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return status_;
}

std::string Program::out() const { return read_file(out_path_); }
std::string Program::err() const { return read_file(err_path_); }

int run(const std::vector<std::string>& argv, const std::vector<std::string>& env, const Scratch& scratch,
        std::string& out, As as) {
  Program program(argv, env, scratch, as);
  const int status = program.wait(std::chrono::seconds(60));
  out = program.out();
  return status;
}

bool opened_elsewhere(const std::string& device) {
  namespace fs = std::filesystem;
  const std::string self = std::to_string(::getpid());
  std::error_code ec;
  for (fs::directory_iterator process("/proc", ec), end; !ec && process != end; process.increment(ec)) {
    const std::string pid = process->path().filename().string();
    if (pid == self || pid.find_first_not_of("0123456789") != std::string::npos) continue;
    std::error_code fd_ec;
    for (fs::directory_iterator fd(process->path() / "fd", fd_ec); !fd_ec && fd != end; fd.increment(fd_ec)) {
      std::error_code link_ec;
      if (fs::read_symlink(fd->path(), link_ec) == device) return true;
    }
  }
  return false;
}

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::vector<std::string> split_lines(const std::string& text) { return split(text, '\n'); }

std::vector<std::string> split(const std::string& line, char separator) {
  std::vector<std::string> parts;
  std::string part;
  std::istringstream in(line);
  while (std::getline(in, part, separator)) parts.push_back(part);
  if (!line.empty() && line.back() == separator && separator != '\n') parts.emplace_back();
  return parts;
}

}  // namespace capturetest
