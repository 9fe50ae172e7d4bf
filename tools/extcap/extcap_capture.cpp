#include "tools/extcap/extcap_capture.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <iostream>
#include <string_view>
#include <vector>

#include "capture/capture_records.h"
#include "capture/pcapng.h"
#include "capture/tap_client.h"
#include "capture/tap_socket.h"
#include "serial/devices.h"
#include "serial/ser.h"

namespace extcap {

namespace {

using capture::Direction;
using capture::TapMessage;

constexpr int kIdleMs = 1000;        // how often an idle capture looks whether Wireshark is gone
constexpr int kHelloWaitMs = 2000;   // a tap's first message, naming the port, comes at once
constexpr std::size_t kReadSize = 65536;

int stop_write_fd = -1;

extern "C" void on_stop(int) {
  const char byte = 1;
  [[maybe_unused]] const ssize_t n = ::write(stop_write_fd, &byte, 1);
}

// Wireshark ends a capture with a signal: it becomes a readable pipe the capture's waits watch.
class StopSignals {
 public:
  StopSignals() {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) return;
    read_fd_ = fds[0];
    stop_write_fd = fds[1];
    struct sigaction action {};
    action.sa_handler = on_stop;
    for (const int number : {SIGTERM, SIGINT, SIGHUP}) ::sigaction(number, &action, nullptr);
    // A reader that goes away is seen as EPIPE from write(), not as a signal that kills us.
    ::signal(SIGPIPE, SIG_IGN);
  }
  int fd() const { return read_fd_; }
  bool raised() const {
    pollfd wait{read_fd_, POLLIN, 0};
    return ::poll(&wait, 1, 0) == 1;
  }

 private:
  int read_fd_ = -1;
};

class Fifo {
 public:
  ~Fifo() {
    if (fd_ >= 0) ::close(fd_);
  }
  bool open(const std::string& path) {
    fd_ = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd_ < 0) std::cerr << path << ": " << std::strerror(errno) << "\n";
    return fd_ >= 0;
  }
  // False once the reader has gone (or the fifo failed): the capture is over.
  bool write(const std::vector<std::uint8_t>& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return false;
      done += static_cast<std::size_t>(n);
    }
    return true;
  }
  // The write end of a pipe reports an error once its reader has closed it.
  bool reader_gone() const {
    pollfd wait{fd_, POLLOUT, 0};
    return ::poll(&wait, 1, 0) == 1 && (wait.revents & (POLLERR | POLLHUP)) != 0;
  }

 private:
  int fd_ = -1;
};

std::int64_t now_us() {
  using namespace std::chrono;
  return duration_cast<microseconds>(system_clock::now().time_since_epoch()).count();
}

std::vector<std::uint8_t> capture_start(const std::string& name, const std::string& description) {
  std::vector<std::uint8_t> out;
  capture::pcapng::append_section_header(out, "quillport-extcap");
  capture::pcapng::append_interface(out, capture::kLinkRtacSerial, name, description);
  return out;
}

int parity_code(char parity) {
  switch (parity) {
    case 'o': return OddParity;
    case 'e': return EvenParity;
    case 'm': return MarkParity;
    case 's': return SpaceParity;
    default: return NoParity;
  }
}

char flow_command(char flow) { return flow == 'r' ? 'H' : flow == 'x' ? 'S' : 'N'; }

// Opens the port as Quillport would; "" or why it could not.
std::string open_port(const Interface& interface, const LineSettings& settings) {
  if (SioReset(interface.port, 2048, 2048) != TORVEL_OK) return serial::open_failure(interface.port);
  // Rates of 50 and up are taken as rates: the library's rate codes are 0..9.
  if (SioBaud(interface.port, settings.speed) != 1) {
    SioDone(interface.port);
    return interface.device + ": the device does not take " + std::to_string(settings.speed) + " bit/s";
  }
  SioParms(interface.port, parity_code(settings.parity), settings.stop_bits == 2 ? TwoStopBits : OneStopBit,
           settings.data_bits);
  SioFlow(interface.port, flow_command(settings.flow));
  SioDTR(interface.port, 'S');
  SioRTS(interface.port, 'C');
  return {};
}

// The lines as far as the device tells them (a pty tells none); DTR is ours, raised at open.
std::uint8_t control_lines(int port) {
  std::uint8_t lines = capture::lines::kDtr;
  if (SioCTS(port) > 0) lines |= capture::lines::kCts;
  if (SioDSR(port) > 0) lines |= capture::lines::kDsr;
  if (SioDCD(port) > 0) lines |= capture::lines::kDcd;
  if (SioRI(port) > 0) lines |= capture::lines::kRing;
  return lines;
}

// Reads what waits on the port into `out` as a record; false when the device has gone.
bool read_block(int port, std::vector<char>& buffer, std::vector<std::uint8_t>& out) {
  const std::int64_t time = now_us();
  const int n = SioGets(port, buffer.data(), static_cast<unsigned>(buffer.size()));
  if (n < 0) return false;
  const std::span<const std::uint8_t> bytes(reinterpret_cast<const std::uint8_t*>(buffer.data()),
                                            static_cast<std::size_t>(n));
  if (n > 0) capture::append_line_block(out, 0, {Direction::Received, time, bytes, control_lines(port)});
  return true;
}

// Why waiting on or reading the port failed: the device went away, or the wait itself failed.
std::string wait_failure(const Interface& interface, int waited) {
  if (waited >= 0) return serial::open_failure(interface.port);
  return interface.device + ": " + std::strerror(LastWinError);
}

int capture_port(const Interface& interface, const Request& request, Fifo& fifo, const StopSignals& stop) {
  const std::string name = "COM" + std::to_string(interface.port + 1);
  std::vector<std::uint8_t> out = capture_start(name, interface.device + ", " + describe_settings(request.settings));
  std::vector<char> buffer(kReadSize);
  int status = 0;
  while (fifo.write(out)) {
    out.clear();
    const int waited = SioWaitRx(interface.port, stop.fd(), kIdleMs);
    if (waited == TORVEL_ABORTED || (waited == 0 && fifo.reader_gone())) break;
    if (waited < 0 || (waited > 0 && !read_block(interface.port, buffer, out))) {
      std::cerr << wait_failure(interface, waited) << "\n";
      status = 1;
      break;
    }
  }
  SioDone(interface.port);
  return status;
}

std::string text_of(const std::vector<std::uint8_t>& body) { return {body.begin(), body.end()}; }

void append_message(std::vector<std::uint8_t>& out, const TapMessage& message) {
  switch (message.kind) {
    case capture::TapKind::Data:
      capture::append_line_block(out, 0, {message.direction, message.time_us, message.body, message.lines});
      break;
    case capture::TapKind::Comment:
      capture::append_serial_event(out, 0, message.time_us, capture::SerialEvent::StatusChange, message.lines,
                                   text_of(message.body));
      break;
    case capture::TapKind::Lost:
      capture::append_serial_event(out, 0, message.time_us, capture::SerialEvent::CaptureDataLost, 0,
                                   "Quillport skipped " + std::to_string(capture::lost_blocks(message)) + " blocks (" +
                                       std::to_string(capture::lost_bytes(message)) +
                                       " bytes) here: this capture did not read them fast enough");
      break;
    case capture::TapKind::Hello: break;
  }
}

// The description the tap's Hello gives, once it has come (within kHelloWaitMs).
std::string await_hello(capture::TapClient& client, std::vector<TapMessage>& messages, const StopSignals& stop) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kHelloWaitMs);
  while (messages.empty() && std::chrono::steady_clock::now() < deadline && !stop.raised())
    if (client.receive(messages, 100, stop.fd()) != capture::TapClient::State::Open) break;
  if (messages.empty() || messages.front().kind != capture::TapKind::Hello) return {};
  return capture::hello_description(messages.front());
}

// What ends a capture from the tap: nothing yet (-1), or the exit status.
int tap_end(capture::TapClient::State state, const capture::TapClient& client, const Interface& interface) {
  if (state == capture::TapClient::State::Failed) {
    std::cerr << client.error() << "\n";
    return 1;
  }
  if (state == capture::TapClient::State::Open) return -1;
  std::cerr << "Quillport stopped serving " << interface.device << "\n";
  return 0;
}

int capture_tap(const Interface& interface, Fifo& fifo, const StopSignals& stop) {
  std::string error;
  const std::unique_ptr<capture::TapClient> client = capture::TapClient::connect(interface.device, error);
  if (!client) {
    std::cerr << error << "\n";
    return 1;
  }
  std::vector<TapMessage> messages;
  std::string description = await_hello(*client, messages, stop);
  if (description.empty()) description = interface.device + ", through Quillport's tap";
  const std::string name = interface.port >= 0 ? "COM" + std::to_string(interface.port + 1) : interface.device;
  std::vector<std::uint8_t> out = capture_start(name, description);
  for (;;) {
    for (const TapMessage& message : messages) append_message(out, message);
    if (!fifo.write(out) || stop.raised()) return 0;
    out.clear();
    messages.clear();
    const int end = tap_end(client->receive(messages, kIdleMs, stop.fd()), *client, interface);
    if (end >= 0) return end;
    if (messages.empty() && fifo.reader_gone()) return 0;
  }
}

}  // namespace

int run_capture(const Interface& interface, const Request& request) {
  const StopSignals stop;
  Fifo fifo;
  if (interface.port >= 0) {
    const std::string failure = open_port(interface, request.settings);
    if (failure.empty()) return fifo.open(request.fifo) ? capture_port(interface, request, fifo, stop) : 1;
    if (!capture::tap_exists(interface.device)) {
      std::cerr << failure << "\n";
      return 1;
    }
  }
  return fifo.open(request.fifo) ? capture_tap(interface, fifo, stop) : 1;
}

}  // namespace extcap
