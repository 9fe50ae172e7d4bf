// One connection to a network port: its socket, what the server sent that has not been read yet, and
// where the Telnet options and the far port's settings stand.
//
// How it works
//   Reads never wait. Every call that looks for input first takes what the socket holds (fill): in
//   RFC 2217 mode through the Telnet decoder, whose commands are acted on at once (option requests
//   answered, the server's reports of the far port's settings, modem lines and line errors kept), so
//   they are seen whenever the port is read or its lines are asked for, and a command split across
//   reads is finished by a later read. Data goes to a buffer of kNetReceiveMax bytes; what does not
//   fit stays in the socket until the buffer is read. A raw TCP link keeps every byte as data.
//   Writes double 0xFF (RFC 2217 mode) and wait for room at most the time their caller gives, also
//   while the server has paused the data (FLOWCONTROL-SUSPEND) until it resumes.
//   Settings are remembered: they go to the server once COM-PORT-OPTION is on (also when the server
//   takes it late), and after that only what changed goes again. Without COM-PORT-OPTION (raw mode,
//   or a server that refuses it) they are kept here only, and the lines and error counters answer
//   as a pseudo-terminal does, by refusing (ENOTTY).
//
//   One thread at a time uses a link; note() alone may be called from any thread.
#pragma once

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "protocol/telnet.h"
#include "serial/deadline.h"
#include "serial/net_address.h"
#include "serial/ser_platform.h"

namespace serial {

inline constexpr std::size_t kNetReceiveMax = 64 * 1024;

class NetLink {
 public:
  NetLink(int fd, NetAddress address);  // takes the connected socket
  ~NetLink();
  NetLink(const NetLink&) = delete;
  NetLink& operator=(const NetLink&) = delete;

  int fd() const { return fd_; }
  const NetAddress& address() const { return address_; }

  // Opens the conversation and waits, at most `ms`, until the server is ready: it has answered
  // COM-PORT-OPTION and reported the far port's rate, refused the option, or (raw mode) not closed
  // at once. 0 when the link can be used (also when the server never answered: it is then a plain
  // Telnet line); otherwise an errno and, in `why`, what happened, with the server's own words.
  int negotiate(std::uint32_t ms, std::string& why);

  // The port's settings and lines. 0 or an errno; ENOTTY where they cannot reach the far port.
  // apply() sends what changed and waits, at most a second, for the server's reports of what the
  // far port took (a server that lets that pass once is not waited for again).
  int apply(const platform::DeviceControl& dcb);
  // Whether the far port took `rate` as the server reported it (what it does not report counts as
  // taken); asked after apply().
  bool rate_taken(unsigned rate);
  int set_output_line(platform::OutputLine line, bool on);
  int set_break(bool on);
  int modem_status(int& ms_bits);
  int line_counters(platform::LineCounters& counters);

  // Input, as the tty calls of ser_platform.h give it.
  int input_waiting(int& count);
  long read_some(void* buffer, std::size_t size);  // never negative: a broken link reads 0, then gone()
  bool gone();                                     // closed or broken, and everything before read
  // Drops what was received, here and (RFC 2217) in the server's buffer.
  void purge_input();
  int wait_input(int wake_fd, int ms, bool& woken);
  int write(const void* buffer, std::size_t size, std::uint32_t wait_ms);

  // Why the link went, for people ("the server closed the connection"), and its errno.
  std::string lost_reason() const;
  int lost_error() const { return lost_error_ != 0 ? lost_error_ : ECONNRESET; }
  // What the port's hint says of the link: its mode and the far port's settings as reported.
  std::string note() const;

 private:
  struct FarPort {  // what the server told of the far port, for note()
    protocol::TelnetOptionState com_port = protocol::TelnetOptionState::Off;
    unsigned rate = 0;
    unsigned data_bits = 0, parity = 0, stop = 0, flow = 0;  // RFC 2217's values, 0 = not reported
    std::string signature;
    unsigned malformed = 0;
  };

  bool telnet() const { return address_.mode == NetMode::Rfc2217; }
  bool com_port_on() const { return options_.ours[protocol::kTelnetComPortOption] == protocol::TelnetOptionState::On; }
  bool empty() const { return head_ == tail_; }
  bool fill();  // true when it stopped with more perhaps waiting in the socket (the buffer is full)
  void ask_options();
  int closed_at_start(std::string& why) const;
  void take(std::size_t count);
  void handle(const protocol::TelnetEvent& event);
  void negotiation(std::uint8_t verb, std::uint8_t option);
  void report(std::span<const std::uint8_t> payload);
  void com_port_taken();
  void push_settings();
  void send_setting(const protocol::TelnetMessage& message);
  void reported();
  void await_reports();
  void send_command(const protocol::TelnetMessage& message);
  int send_bytes(std::span<const std::uint8_t> bytes, const Deadline& deadline, bool data);
  bool wait_readable(const Deadline& deadline);
  template <class Change>
  void note_change(Change change);

  int fd_;
  NetAddress address_;
  protocol::TelnetDecoder decoder_;
  protocol::TelnetOptions options_;
  std::vector<std::uint8_t> buffer_;
  std::size_t head_ = 0;
  std::size_t tail_ = 0;
  bool closed_ = false;
  int lost_error_ = 0;  // 0: the server closed it

  platform::DeviceControl wanted_;
  platform::DeviceControl sent_;
  bool settings_given_ = false;
  bool dtr_ = false;
  bool rts_ = false;
  bool sent_valid_ = false;
  int reports_pending_ = 0;  // settings sent whose report has not come
  unsigned baud_reported_ = 0;
  bool server_quiet_ = false;
  bool suspended_ = false;
  bool modem_known_ = false;
  std::uint8_t modem_ = 0;
  platform::LineCounters counters_;

  mutable std::mutex far_mutex_;
  FarPort far_;
};

}  // namespace serial
