// A real ser2net for one test: a socat pseudo-terminal pair is its device, it serves that device on
// two free loopback ports (Telnet with RFC 2217, and raw TCP) from a config of its own, in the
// foreground, with its own pid file. The test holds the pair's far end, as the equipment would.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <string_view>

namespace testsupport {

class Ser2net {
 public:
  // `host`: the loopback address served on, "127.0.0.1" or "::1"; `options`: lines of ser2net's
  // connection options, each indented by four spaces ("    chardelay: false\n"). Throws
  // std::runtime_error when socat or ser2net cannot be started.
  explicit Ser2net(std::string host = "127.0.0.1", std::string options = "");
  ~Ser2net();
  Ser2net(const Ser2net&) = delete;
  Ser2net& operator=(const Ser2net&) = delete;

  std::string rfc2217_address() const;  // "rfc2217://127.0.0.1:40123", "rfc2217://[::1]:40123"
  std::string raw_address() const;      // "tcp://..."
  const std::string& device() const { return device_; }  // the pseudo-terminal ser2net opens
  int far() const { return far_; }                       // the other end: raw, non-blocking

  void write(std::string_view bytes);
  std::string read(std::size_t want, std::chrono::milliseconds timeout = std::chrono::seconds(5));

  void kill();   // as a crash: SIGKILL, and waited for
  void start();  // again, on the same ports

  // Whether this machine has an IPv6 loopback to serve on.
  static bool ipv6_loopback();

 private:
  void make_cable();
  void write_config();
  void stop_all();
  std::string url(const char* scheme, int port) const;

  std::string dir_;
  std::string host_;
  std::string device_;
  std::string config_;
  std::string options_;
  int rfc2217_port_ = 0;
  int raw_port_ = 0;
  pid_t socat_ = -1;
  pid_t ser2net_ = -1;
  int far_ = -1;
};

}  // namespace testsupport
