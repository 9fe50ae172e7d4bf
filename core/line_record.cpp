#include "core/line_record.h"

#include <chrono>
#include <memory>
#include <mutex>

#include "capture/tap_server.h"
#include "serial/pi_mutex.h"
#include "serial/read_ahead.h"
#include "serial/ser.h"

std::int64_t hex_shown_us = 0;
bool hex_shown_live = true;

namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kTapRetry = std::chrono::seconds(1);

struct Tap {
  std::unique_ptr<capture::TapServer> server;
  std::string device;  // the device it serves, or the one it could not be opened for
  Clock::time_point tried;
};

class LineRecorder final : public serial::TrafficObserver {
 public:
  void traffic(int number, bool sent, std::int64_t time_us, std::span<const std::uint8_t> bytes) override {
    const std::lock_guard lock(mutex_);
    const int port = port_of(number);
    if (port < 0) return;
    const capture::LineBlock block{sent ? capture::Direction::Sent : capture::Direction::Received, time_us, bytes,
                                   ports_[static_cast<std::size_t>(port)].lines};
    if (writer_ != nullptr) writer_->block(port, block);
    if (capture::TapServer* server = tap(port)) server->block(block);
  }

  void follow(const std::array<RecordedPort, HEX_MAX_PORT>& ports) {
    const std::lock_guard lock(mutex_);
    ports_ = ports;
    for (int port = 0; port < HEX_MAX_PORT; ++port) follow_tap(port);
  }

  void serve() {
    const std::lock_guard lock(mutex_);
    for (Tap& tap : taps_)
      if (tap.server) tap.server->serve();
  }

  void into(capture::CaptureWriter* writer) {
    const std::lock_guard lock(mutex_);
    writer_ = writer;
  }

  void frame(capture::FrameKind kind, int port, std::span<const std::uint8_t> frame) {
    const std::lock_guard lock(mutex_);
    if (writer_ != nullptr) writer_->frame(port, kind, capture::Direction::Received, hex_shown_us, frame);
  }

  void comment(int port, std::int64_t time_us, std::string_view text) {
    const std::lock_guard lock(mutex_);
    if (writer_ != nullptr) writer_->comment(port, time_us, text);
    if (capture::TapServer* server = tap(port)) server->comment(time_us, text);
  }

  void start() {
    const std::lock_guard lock(mutex_);
    serving_ = true;
  }

  void clear() {
    const std::lock_guard lock(mutex_);
    serving_ = false;
    writer_ = nullptr;
    ports_ = {};
    for (Tap& tap : taps_) tap = Tap{};
  }

 private:
  // The held terminal port bound to serial port `number`; -1 for none.
  int port_of(int number) const {
    for (int port = 0; port < HEX_MAX_PORT; ++port)
      if (ports_[static_cast<std::size_t>(port)].held && ports_[static_cast<std::size_t>(port)].number == number)
        return port;
    return -1;
  }

  capture::TapServer* tap(int port) {
    if (port < 0 || port >= HEX_MAX_PORT) return nullptr;
    return taps_[static_cast<std::size_t>(port)].server.get();
  }

  // A tap that cannot be opened (another program serves this device, the folder is not private) is
  // tried again a second later: the window goes on without it meanwhile.
  void follow_tap(int port) {
    const RecordedPort& recorded = ports_[static_cast<std::size_t>(port)];
    Tap& tap = taps_[static_cast<std::size_t>(port)];
    const std::string device = recorded.held && serving_ ? recorded.device : "";
    if (tap.device != device) tap = Tap{nullptr, device, {}};
    if (!device.empty() && !tap.server && Clock::now() - tap.tried >= kTapRetry) {
      tap.tried = Clock::now();
      std::string error;
      tap.server = capture::TapServer::open(device, error);
    }
    if (tap.server) tap.server->set_description(recorded.description);
  }

  serial::PiMutex mutex_;  // shared with the ports' readers
  std::array<RecordedPort, HEX_MAX_PORT> ports_;
  std::array<Tap, HEX_MAX_PORT> taps_;
  capture::CaptureWriter* writer_ = nullptr;
  bool serving_ = false;  // taps are served (the program, not a test of the core)
};

// Never destroyed: a reader may report a block while the program's statics go.
LineRecorder& recorder() {
  static auto* const instance = new LineRecorder;
  return *instance;
}

}  // namespace

void hex_record_start() {
  recorder().start();
  serial::observe_traffic(&recorder());
}

void hex_record_ports(const std::array<RecordedPort, HEX_MAX_PORT>& ports) { recorder().follow(ports); }

void hex_record_serve() { recorder().serve(); }

void hex_record_into(capture::CaptureWriter* writer) { recorder().into(writer); }

void hex_record_frame(capture::FrameKind kind, int port, std::span<const std::uint8_t> frame) {
  if (!hex_shown_live) return;
  if (kind == capture::FrameKind::Icni) {
    recorder().frame(kind, port, frame);
    return;
  }
  // The views show HDLC and PPP frames from their opening flag, which their link types do not
  // carry. What the view shows before a line's first flag (a modem's text, say) has none: it is
  // no frame, and Wireshark would read it as one.
  if (!frame.empty() && frame.front() == 0x7E) recorder().frame(kind, port, frame.subspan(1));
}

void hex_record_comment(int port, std::int64_t time_us, std::string_view text) {
  recorder().comment(port, time_us, text);
}

void hex_record_stop() {
  serial::observe_traffic(nullptr);
  recorder().clear();
}
