#include "tests/support/ser2net_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <vector>

#include "tests/support/pty_pair.h"

extern char** environ;

namespace testsupport {

namespace {

using namespace std::chrono_literals;

[[noreturn]] void fail(const std::string& what) { throw std::runtime_error(what + ": " + std::strerror(errno)); }

pid_t spawn(const std::vector<std::string>& args, const std::string& log) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid = -1;
  const int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) {
    errno = rc;
    fail("cannot start " + args[0]);
  }
  return pid;
}

void end(pid_t& pid, int signal) {
  if (pid <= 0) return;
  ::kill(pid, signal);
  ::waitpid(pid, nullptr, 0);
  pid = -1;
}

bool ipv6(const std::string& host) { return host.find(':') != std::string::npos; }

// A port nobody listens on now; the kernel hands out ephemeral ports in turn, so a parallel test
// is very unlikely to be given the same one before ser2net binds it.
int free_port(const std::string& host) {
  const int family = ipv6(host) ? AF_INET6 : AF_INET;
  const int fd = ::socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_storage address{};
  socklen_t size = 0;
  if (family == AF_INET6) {
    auto* a = reinterpret_cast<sockaddr_in6*>(&address);
    a->sin6_family = AF_INET6;
    ::inet_pton(AF_INET6, host.c_str(), &a->sin6_addr);
    size = sizeof *a;
  } else {
    auto* a = reinterpret_cast<sockaddr_in*>(&address);
    a->sin_family = AF_INET;
    ::inet_pton(AF_INET, host.c_str(), &a->sin_addr);
    size = sizeof *a;
  }
  if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), size) != 0) fail("no free port on " + host);
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
  ::close(fd);
  return ntohs(family == AF_INET6 ? reinterpret_cast<sockaddr_in6*>(&address)->sin6_port
                                  : reinterpret_cast<sockaddr_in*>(&address)->sin_port);
}

// Whether something listens on `port`, from the kernel's tables: connecting to ask would make
// ser2net open its device, and hold it a moment after.
bool listening(int port) {
  char wanted[8];
  std::snprintf(wanted, sizeof wanted, ":%04X", port);
  for (const char* table : {"/proc/net/tcp", "/proc/net/tcp6"}) {
    std::ifstream in(table);
    for (std::string line; std::getline(in, line);) {
      std::istringstream fields(line);
      std::string slot, local, remote, state;
      fields >> slot >> local >> remote >> state;
      if (local.ends_with(wanted) && state == "0A") return true;
    }
  }
  return false;
}

void make_raw(int fd) {
  termios t{};
  ::tcgetattr(fd, &t);
  ::cfmakeraw(&t);
  ::tcsetattr(fd, TCSANOW, &t);
}

}  // namespace

Ser2net::Ser2net(std::string host, std::string options) : host_(std::move(host)) {
  if (!options.empty()) options_ = "  options:\n" + options;
  char name[] = "/tmp/quillport-ser2net-XXXXXX";
  if (::mkdtemp(name) == nullptr) fail("mkdtemp");
  dir_ = name;
  try {
    make_cable();
    write_config();
    start();
  } catch (...) {
    stop_all();
    throw;
  }
}

Ser2net::~Ser2net() { stop_all(); }

void Ser2net::make_cable() {
  device_ = dir_ + "/device";
  const std::string far_path = dir_ + "/far";
  socat_ = spawn({"socat", "pty,rawer,link=" + device_, "pty,rawer,link=" + far_path}, dir_ + "/socat.log");
  if (!wait_until([&] { return std::filesystem::exists(device_) && std::filesystem::exists(far_path); }, 10s))
    throw std::runtime_error("socat made no pty pair");
  far_ = ::open(far_path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (far_ < 0) fail("open " + far_path);
  make_raw(far_);
}

void Ser2net::write_config() {
  rfc2217_port_ = free_port(host_);
  raw_port_ = free_port(host_);
  config_ = dir_ + "/ser2net.yaml";
  std::ofstream(config_) << "%YAML 1.1\n---\n"
                         << "connection: &rfc2217\n"
                         << "  accepter: telnet(rfc2217),tcp," << host_ << "," << rfc2217_port_ << "\n"
                         << "  connector: serialdev," << device_ << ",9600n81,local\n"
                         << options_
                         << "connection: &raw\n"
                         << "  accepter: tcp," << host_ << "," << raw_port_ << "\n"
                         << "  connector: serialdev," << device_ << ",9600n81,local\n"
                         << options_;
}

void Ser2net::stop_all() {
  end(ser2net_, SIGKILL);
  if (far_ >= 0) ::close(far_);
  far_ = -1;
  end(socat_, SIGTERM);
  std::error_code ignored;
  std::filesystem::remove_all(dir_, ignored);
}

void Ser2net::start() {
  // -n: in the foreground; -u: no UUCP lock, the device is this test's own.
  ser2net_ = spawn({"ser2net", "-n", "-u", "-c", config_, "-P", dir_ + "/ser2net.pid"}, dir_ + "/ser2net.log");
  if (!wait_until([&] { return listening(rfc2217_port_) && listening(raw_port_); }, 10s))
    throw std::runtime_error("ser2net does not listen on " + std::to_string(rfc2217_port_));
}

void Ser2net::kill() { end(ser2net_, SIGKILL); }

std::string Ser2net::url(const char* scheme, int port) const {
  return std::string(scheme) + (ipv6(host_) ? "[" + host_ + "]" : host_) + ":" + std::to_string(port);
}

std::string Ser2net::rfc2217_address() const { return url("rfc2217://", rfc2217_port_); }
std::string Ser2net::raw_address() const { return url("tcp://", raw_port_); }

void Ser2net::write(std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(far_, bytes.data(), bytes.size());
    if (n > 0) {
      bytes.remove_prefix(static_cast<std::size_t>(n));
      continue;
    }
    if (n < 0 && errno != EAGAIN && errno != EINTR) fail("write to the far end");
    pollfd p{far_, POLLOUT, 0};
    ::poll(&p, 1, 1000);
  }
}

std::string Ser2net::read(std::size_t want, std::chrono::milliseconds timeout) {
  std::string got;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (got.size() < want) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    pollfd p{far_, POLLIN, 0};
    if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
    char buffer[4096];
    const ssize_t n = ::read(far_, buffer, std::min(sizeof buffer, want - got.size()));
    if (n > 0) got.append(buffer, static_cast<std::size_t>(n));
  }
  return got;
}

bool Ser2net::ipv6_loopback() {
  const int fd = ::socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in6 a{};
  a.sin6_family = AF_INET6;
  a.sin6_addr = in6addr_loopback;
  const bool ok = fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
  if (fd >= 0) ::close(fd);
  return ok;
}

}  // namespace testsupport
