// What crosses the terminal ports' lines, recorded: into the capture file while one is written,
// and onto the tap of each port the program holds (capture/tap_server.h), which Wireshark reads
// through quillport-extcap.
//
// How it works
//   The serial library reports every block read or written, on the thread that moved it (a
//   port's reader, the UI thread, a transfer's thread), with the time it crossed the line
//   (serial/read_ahead.h). Here the block becomes a record of the terminal port its serial port
//   is bound to, and goes to the capture writer and that port's tap under one lock; neither waits
//   (the writer buffers for a thread of its own, a tap sends only what its sockets take at once).
//   The UI thread says which serial port is which terminal port and how each is described
//   (hex_record_ports), serves the taps each tick, and adds the frames the decoders find and
//   comments. A frame takes the arrival time of the block being shown (hex_shown_us); frames of a
//   replayed capture are not traffic and are not recorded.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "capture/capture_types.h"
#include "capture/capture_writer.h"
#include "core/hex.h"

// A terminal port as the records name it, told by the UI thread.
struct RecordedPort {
  bool held = false;        // present: its serial port is open
  int number = -1;          // the serial port bound to it
  std::string device;       // a device path or a network address
  std::string description;  // "Port A: /dev/ttyUSB0, 9600 8N1, no flow control"
  std::uint8_t lines = 0;   // capture::lines bits known
};

// The time of the received block being shown, and whether it is live traffic (not a replay).
extern std::int64_t hex_shown_us;
extern bool hex_shown_live;

// From now on the lines' traffic is recorded (the program's dialog turns this on at its start).
void hex_record_start();
// Which serial port each terminal port is, and how it is described: a held port's tap is opened
// (once a second at most while it cannot be), another's closed.
void hex_record_ports(const std::array<RecordedPort, HEX_MAX_PORT>& ports);
// Takes the taps' new clients and sends what their sockets could not take before.
void hex_record_serve();
// The capture file records go to from now on (nullptr: none); the writer must outlive its use here.
void hex_record_into(capture::CaptureWriter* writer);

// A frame the current view's decoder found in the block being shown, shown on terminal port `port`.
// HDLC and PPP frames lose their opening flag; what a view shows before a line's first flag is no
// frame and is not recorded.
void hex_record_frame(capture::FrameKind kind, int port, std::span<const std::uint8_t> frame);
// A comment on terminal port `port`'s interface: a setting changed, a transfer began or ended.
void hex_record_comment(int port, std::int64_t time_us, std::string_view text);
// No taps, no capture file, nothing observed: for the end of the program and for tests.
void hex_record_stop();
