#include "serial/net_link.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <optional>

#include "serial/ser.h"

namespace serial {

namespace {

using protocol::TelnetOptionState;
namespace rfc = protocol::rfc2217;

constexpr std::uint32_t kReplyMs = 1000;    // how long SioBaud waits for the server's report
constexpr std::uint32_t kControlMs = 1000;  // how long a command may wait for room in the socket
// How long a connection must stay open before it counts as taken: a server that refuses a client
// (ser2net: "Port already in use") says so and closes at once.
constexpr std::uint32_t kSettleMs = 250;
constexpr std::size_t kWordsMax = 120;
constexpr std::size_t kSignatureMax = 60;
constexpr int kPurgeReads = 256;
constexpr int kFillReads = 64;

int poll_ms(const Deadline& deadline) {
  return static_cast<int>(std::min<std::uint32_t>(deadline.left(), INT_MAX));
}

// Printable text of what a server sent, for a message: control bytes as spaces, runs of spaces as one.
std::string printable(std::span<const std::uint8_t> bytes, std::size_t most) {
  std::string text;
  for (const std::uint8_t b : bytes) {
    const char c = b >= 0x20 && b < 0x7F ? static_cast<char>(b) : ' ';
    if (c == ' ' && (text.empty() || text.back() == ' ')) continue;
    if (text.size() == most) break;
    text += c;
  }
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

std::uint8_t parity_value(int parity) { return static_cast<std::uint8_t>(parity + rfc::kParityNone); }

std::uint8_t stop_value(int stop_bits) {
  if (stop_bits == TwoStopBits) return rfc::kStopTwo;
  return stop_bits == One5StopBits ? rfc::kStopOneAndHalf : rfc::kStopOne;
}

std::uint8_t flow_value(const platform::DeviceControl& dcb) {
  if (dcb.fOutX || dcb.fInX) return rfc::kFlowXonXoff;
  if (dcb.fOutxCtsFlow || dcb.fRtsControl == platform::RTS_CONTROL_HANDSHAKE) return rfc::kFlowHardware;
  return rfc::kFlowNone;
}

bool valid(const platform::DeviceControl& dcb) {
  return dcb.BaudRate != 0 && dcb.ByteSize >= 5 && dcb.ByteSize <= 8 && dcb.Parity >= NoParity &&
         dcb.Parity <= SpaceParity && dcb.StopBits >= OneStopBit && dcb.StopBits <= TwoStopBits;
}

// The options this client takes: binary data both ways, no go-aheads, and the COM-PORT-OPTION on
// its own side. A server that offers to echo is refused: the line's own bytes
// are what is shown.
bool accepted(std::uint8_t verb, std::uint8_t option) {
  const bool ours = verb == protocol::kTelnetDo || verb == protocol::kTelnetDont;
  if (option == protocol::kTelnetBinary || option == protocol::kTelnetSuppressGoAhead) return true;
  return ours && option == protocol::kTelnetComPortOption;
}

std::string far_settings(unsigned rate, unsigned data_bits, unsigned parity, unsigned stop) {
  constexpr const char* kParity = "?NOEMS";
  constexpr const char* kStop[] = {"?", "1", "2", "1.5"};
  std::string text = rate != 0 ? std::to_string(rate) + " bit/s" : "";
  if (data_bits == 0 && parity == 0 && stop == 0) return text;
  if (!text.empty()) text += " ";
  text += (data_bits != 0 ? std::to_string(data_bits) : "?") + kParity[parity < 6 ? parity : 0] + kStop[stop < 4 ? stop : 0];
  return text;
}

}  // namespace

NetLink::NetLink(int fd, NetAddress address) : fd_(fd), address_(std::move(address)), buffer_(kNetReceiveMax) {
  far_.com_port = telnet() ? TelnetOptionState::Off : TelnetOptionState::Refused;
}

NetLink::~NetLink() { ::close(fd_); }

template <class Change>
void NetLink::note_change(Change change) {
  const std::lock_guard lock(far_mutex_);
  change(far_);
}

// ---- Input ----

bool NetLink::fill() {
  // A server that sends nothing but commands never fills the buffer; a bounded number of reads
  // keeps such a flood from holding the caller.
  for (int reads = 0; !closed_; ++reads) {
    if (reads == kFillReads) return true;
    if (head_ == tail_) head_ = tail_ = 0;
    if (tail_ == buffer_.size() && head_ > 0) {
      std::memmove(buffer_.data(), buffer_.data() + head_, tail_ - head_);
      tail_ -= head_;
      head_ = 0;
    }
    if (tail_ == buffer_.size()) return true;
    const ssize_t n = ::recv(fd_, buffer_.data() + tail_, buffer_.size() - tail_, MSG_DONTWAIT);
    if (n > 0) {
      take(static_cast<std::size_t>(n));
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return false;
    closed_ = true;
    lost_error_ = n < 0 ? errno : 0;
  }
  return false;
}

// Decodes `count` bytes just received at the buffer's end in place: data stays, commands go.
void NetLink::take(std::size_t count) {
  if (!telnet()) {
    tail_ += count;
    return;
  }
  const std::span<std::uint8_t> received(buffer_.data() + tail_, count);
  std::size_t used = 0;
  std::size_t written = 0;
  while (used < count) {
    const protocol::TelnetStep step =
        protocol::telnet_decode(decoder_, received.subspan(used), received.subspan(written));
    used += step.used;
    written += step.written;
    if (step.event.kind != protocol::TelnetEventKind::None)
      handle(step.event);
    else if (step.used == 0)
      break;
  }
  tail_ += written;
}

void NetLink::handle(const protocol::TelnetEvent& event) {
  switch (event.kind) {
    case protocol::TelnetEventKind::Negotiation: negotiation(event.code, event.option); return;
    case protocol::TelnetEventKind::Subnegotiation:
      if (event.option == protocol::kTelnetComPortOption) report(event.payload);
      return;
    case protocol::TelnetEventKind::Malformed: note_change([](FarPort& far) { ++far.malformed; }); return;
    case protocol::TelnetEventKind::Command:  // NOP, GA, a data mark: nothing to do for a serial line
    case protocol::TelnetEventKind::None: return;
  }
}

void NetLink::negotiation(std::uint8_t verb, std::uint8_t option) {
  const bool was_on = com_port_on();
  if (const auto answer = protocol::telnet_answer(options_, verb, option, accepted(verb, option))) send_command(*answer);
  const TelnetOptionState com = options_.ours[protocol::kTelnetComPortOption];
  note_change([com](FarPort& far) { far.com_port = com; });
  if (!was_on && com_port_on()) com_port_taken();
}

void NetLink::report(std::span<const std::uint8_t> payload) {
  const std::optional<rfc::Report> r = rfc::parse_report(payload);
  if (!r) {
    note_change([](FarPort& far) { ++far.malformed; });
    return;
  }
  const unsigned value = r->value;
  switch (r->command) {
    case rfc::kSignature: {
      std::string text = printable(r->text, kSignatureMax);
      note_change([&text](FarPort& far) { far.signature = std::move(text); });
      return;
    }
    case rfc::kSetBaudRate:
      baud_reported_ = value;
      reported();
      note_change([value](FarPort& far) { far.rate = value; });
      return;
    case rfc::kSetDataSize: reported(); note_change([value](FarPort& far) { far.data_bits = value; }); return;
    case rfc::kSetParity: reported(); note_change([value](FarPort& far) { far.parity = value; }); return;
    case rfc::kSetStopSize: reported(); note_change([value](FarPort& far) { far.stop = value; }); return;
    case rfc::kSetControl:
      if (value < rfc::kFlowNone || value > rfc::kFlowHardware) return;
      reported();
      note_change([value](FarPort& far) { far.flow = value; });
      return;
    case rfc::kNotifyLineState:
      counters_.overrun += (value & rfc::kLineOverrun) ? 1 : 0;
      counters_.parity += (value & rfc::kLineParity) ? 1 : 0;
      counters_.frame += (value & rfc::kLineFraming) ? 1 : 0;
      counters_.brk += (value & rfc::kLineBreak) ? 1 : 0;
      return;
    case rfc::kNotifyModemState:
      modem_ = static_cast<std::uint8_t>(value);
      modem_known_ = true;
      return;
    case rfc::kFlowControlSuspend: suspended_ = true; return;
    case rfc::kFlowControlResume: suspended_ = false; return;
    default: return;  // replies to the masks and to a purge
  }
}

// The server has taken COM-PORT-OPTION: it is asked for its name and for every change of the input
// lines and every receive error, and gets the settings made so far.
void NetLink::com_port_taken() {
  send_command(protocol::com_port_command(rfc::kSignature, {}));
  send_command(protocol::com_port_byte(rfc::kSetModemStateMask, 0xFF));
  send_command(protocol::com_port_byte(rfc::kSetLineStateMask,
                                       rfc::kLineOverrun | rfc::kLineParity | rfc::kLineFraming | rfc::kLineBreak));
  if (!settings_given_) return;
  sent_valid_ = false;
  push_settings();
  send_command(protocol::com_port_byte(rfc::kSetControl, dtr_ ? rfc::kDtrOn : rfc::kDtrOff));
  send_command(protocol::com_port_byte(rfc::kSetControl, rts_ ? rfc::kRtsOn : rfc::kRtsOff));
}

int NetLink::input_waiting(int& count) {
  fill();
  count = static_cast<int>(tail_ - head_);
  return 0;
}

long NetLink::read_some(void* buffer, std::size_t size) {
  if (empty()) fill();
  const std::size_t n = std::min(size, tail_ - head_);
  if (n > 0) std::memcpy(buffer, buffer_.data() + head_, n);
  head_ += n;
  return static_cast<long>(n);
}

bool NetLink::gone() {
  fill();
  return closed_ && empty();
}

void NetLink::purge_input() {
  for (int reads = 0; reads < kPurgeReads; ++reads) {
    const bool more = fill();
    head_ = tail_ = 0;
    if (!more) break;
  }
  if (com_port_on()) send_command(protocol::com_port_byte(rfc::kPurgeData, rfc::kPurgeReceive));
}

bool NetLink::wait_readable(const Deadline& deadline) {
  pollfd p{fd_, POLLIN, 0};
  return ::poll(&p, 1, poll_ms(deadline)) > 0;
}

int NetLink::wait_input(int wake_fd, int ms, bool& woken) {
  woken = false;
  if (!empty() || closed_) return 1;
  const Deadline deadline(steady_clock(), static_cast<std::uint32_t>(std::max(ms, 0)));
  // Telnet commands alone (a notification, an option) make the socket readable with no data for
  // the caller: the wait goes on for the time left.
  for (;;) {
    pollfd p[2] = {{fd_, POLLIN, 0}, {wake_fd, POLLIN, 0}};
    const int count = ::poll(p, wake_fd >= 0 ? 2 : 1, poll_ms(deadline));
    if (count < 0) return errno == EINTR ? 0 : -errno;
    woken = wake_fd >= 0 && (p[1].revents & POLLIN) != 0;
    if (p[0].revents != 0) fill();
    if (!empty() || closed_) return 1;
    if (woken || deadline.expired()) return 0;
  }
}

// ---- Output ----

int NetLink::send_bytes(std::span<const std::uint8_t> bytes, const Deadline& deadline, bool data) {
  while (!bytes.empty()) {
    // The server asked for a pause in the data; its resume comes in with the input.
    if (data && suspended_) {
      if (closed_) return EPIPE;
      if (deadline.expired()) return ETIMEDOUT;
      if (wait_readable(deadline) && fill()) ::poll(nullptr, 0, 10);  // a full buffer: the resume waits behind it
      continue;
    }
    const ssize_t n = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n > 0) {
      bytes = bytes.subspan(static_cast<std::size_t>(n));
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return errno;
    // The socket's buffer is full (the far line is slower than the network): wait for room, but
    // never past the deadline.
    if (deadline.expired()) return ETIMEDOUT;
    pollfd p{fd_, POLLOUT, 0};
    const int ready = ::poll(&p, 1, poll_ms(deadline));
    if (ready < 0 && errno != EINTR) return errno;
    if (ready > 0 && (p.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) return EPIPE;
  }
  return 0;
}

// Commands are small and go out whatever the data does; a link that cannot take one is found
// broken by its next read.
void NetLink::send_command(const protocol::TelnetMessage& message) {
  send_bytes(message.view(), Deadline(steady_clock(), kControlMs), false);
}

int NetLink::write(const void* buffer, std::size_t size, std::uint32_t wait_ms) {
  const Deadline deadline(steady_clock(), wait_ms);
  std::span<const std::uint8_t> in(static_cast<const std::uint8_t*>(buffer), size);
  if (!telnet()) return send_bytes(in, deadline, true);
  std::uint8_t escaped[4096];
  while (!in.empty()) {
    const protocol::TelnetEscaped step = protocol::telnet_escape(in, escaped);
    if (const int err = send_bytes(std::span(escaped).first(step.written), deadline, true); err != 0) return err;
    in = in.subspan(step.used);
  }
  return 0;
}

// ---- Settings and lines ----

void NetLink::reported() { reports_pending_ = std::max(reports_pending_ - 1, 0); }

// A setting the server answers with a report of what the far port took.
void NetLink::send_setting(const protocol::TelnetMessage& message) {
  send_command(message);
  ++reports_pending_;
}

void NetLink::push_settings() {
  if (!com_port_on()) return;
  const platform::DeviceControl& w = wanted_;
  const platform::DeviceControl& s = sent_;
  if (!sent_valid_ || w.BaudRate != s.BaudRate) send_setting(protocol::com_port_baud(w.BaudRate));
  if (!sent_valid_ || w.ByteSize != s.ByteSize)
    send_setting(protocol::com_port_byte(rfc::kSetDataSize, static_cast<std::uint8_t>(w.ByteSize)));
  if (!sent_valid_ || w.Parity != s.Parity) send_setting(protocol::com_port_byte(rfc::kSetParity, parity_value(w.Parity)));
  if (!sent_valid_ || w.StopBits != s.StopBits)
    send_setting(protocol::com_port_byte(rfc::kSetStopSize, stop_value(w.StopBits)));
  if (!sent_valid_ || flow_value(w) != flow_value(s)) send_setting(protocol::com_port_byte(rfc::kSetControl, flow_value(w)));
  sent_ = w;
  sent_valid_ = true;
}

// Waits, at most kReplyMs, for the server to report what the far port took of the settings sent.
// A server that lets that time pass once is not waited for again.
void NetLink::await_reports() {
  if (!com_port_on() || server_quiet_) return;
  const Deadline deadline(steady_clock(), kReplyMs);
  while (reports_pending_ > 0 && !closed_) {
    if (deadline.expired()) {
      server_quiet_ = true;
      return;
    }
    // A buffer full of data hides the reports; they are not waited for behind it.
    if (wait_readable(deadline) && fill()) return;
  }
}

int NetLink::apply(const platform::DeviceControl& dcb) {
  if (!valid(dcb)) return EINVAL;
  wanted_ = dcb;
  settings_given_ = true;
  push_settings();
  await_reports();
  return 0;
}

bool NetLink::rate_taken(unsigned rate) {
  if (!com_port_on() || reports_pending_ > 0 || baud_reported_ == 0) return true;
  return baud_reported_ == rate;
}

int NetLink::set_output_line(platform::OutputLine line, bool on) {
  const bool dtr = line == platform::OutputLine::Dtr;
  (dtr ? dtr_ : rts_) = on;
  if (!com_port_on()) return ENOTTY;
  const std::uint8_t value = dtr ? (on ? rfc::kDtrOn : rfc::kDtrOff) : (on ? rfc::kRtsOn : rfc::kRtsOff);
  send_command(protocol::com_port_byte(rfc::kSetControl, value));
  return 0;
}

int NetLink::set_break(bool on) {
  if (!com_port_on()) return ENOTTY;
  send_command(protocol::com_port_byte(rfc::kSetControl, on ? rfc::kBreakOn : rfc::kBreakOff));
  return 0;
}

int NetLink::modem_status(int& ms_bits) {
  fill();
  if (!com_port_on() || !modem_known_) return ENOTTY;
  ms_bits = modem_ & rfc::kModemLines;
  return 0;
}

int NetLink::line_counters(platform::LineCounters& counters) {
  fill();
  if (!com_port_on()) return ENOTTY;
  counters = counters_;
  return 0;
}

// ---- The conversation's start ----

// Binary data both ways, no go-aheads, and COM-PORT-OPTION on the client's side.
void NetLink::ask_options() {
  for (const auto& [verb, option] : {std::pair{protocol::kTelnetWill, protocol::kTelnetBinary},
                                     {protocol::kTelnetDo, protocol::kTelnetBinary},
                                     {protocol::kTelnetWill, protocol::kTelnetSuppressGoAhead},
                                     {protocol::kTelnetDo, protocol::kTelnetSuppressGoAhead},
                                     {protocol::kTelnetWill, protocol::kTelnetComPortOption}})
    send_command(protocol::telnet_ask(options_, verb, option));
}

// A server that closes at once says why in its last data ("Port already in use").
int NetLink::closed_at_start(std::string& why) const {
  const std::string words = printable(std::span(buffer_).subspan(head_, tail_ - head_), kWordsMax);
  why = lost_reason() + (words.empty() ? "" : ": \"" + words + "\"");
  return lost_error();
}

int NetLink::negotiate(std::uint32_t ms, std::string& why) {
  const Deadline deadline(steady_clock(), ms);
  if (telnet()) ask_options();
  std::optional<Deadline> settle;
  if (!telnet()) settle.emplace(steady_clock(), std::min(kSettleMs, ms));
  bool asked_rate = false;
  for (;;) {
    fill();
    if (closed_) return closed_at_start(why);
    // The far port's rate, asked for once the option is on: its report says the server is ready.
    if (com_port_on() && !asked_rate) {
      send_setting(protocol::com_port_baud(0));
      asked_rate = true;
    }
    if (asked_rate && reports_pending_ == 0) return 0;
    if (!settle && options_.ours[protocol::kTelnetComPortOption] == TelnetOptionState::Refused)
      settle.emplace(steady_clock(), kSettleMs);
    if ((settle && settle->expired()) || deadline.expired()) return 0;
    wait_readable(settle && settle->left() < deadline.left() ? *settle : deadline);
  }
}

// ---- Words for people ----

std::string NetLink::lost_reason() const {
  if (lost_error_ == 0) return "the server closed the connection";
  return std::string("the connection broke (") + std::strerror(lost_error_) + ")";
}

std::string NetLink::note() const {
  FarPort far;
  {
    const std::lock_guard lock(far_mutex_);
    far = far_;
  }
  std::string text;
  if (!telnet()) {
    text = "raw TCP: speed, format, flow control and DTR/RTS stay here; they cannot reach the far port";
  } else if (far.com_port == TelnetOptionState::On) {
    const std::string server = far.signature.empty() ? "" : " (" + far.signature + ")";
    const std::string settings = far_settings(far.rate, far.data_bits, far.parity, far.stop);
    text = "RFC 2217" + server + ": " +
           (settings.empty() ? "the server has not reported the far port's settings" : "far port at " + settings);
  } else {
    const bool refused = far.com_port == TelnetOptionState::Refused;
    text = std::string("Telnet: the server ") + (refused ? "refused" : "did not answer") +
           " RFC 2217's COM-PORT-OPTION; settings and lines cannot reach the far port";
  }
  if (far.malformed > 0) text.append("\n").append(std::to_string(far.malformed)).append(" malformed Telnet commands from the server ignored");
  return text;
}

}  // namespace serial
