// Quillport's records as pcapng packets: a port's line bytes and events as RTAC Serial records,
// and decoded frames in the form their link type wants. The capture writer and the extcap program
// both write through these, so a live capture and a file read the same.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "capture/capture_types.h"
#include "capture/serial_record.h"

namespace capture {

// Bytes that crossed a line, stamped when they did.
struct LineBlock {
  Direction direction = Direction::Received;
  std::int64_t time_us = 0;  // wall clock, microseconds since 1970
  std::span<const std::uint8_t> bytes;
  std::uint8_t lines = 0;  // capture::lines bits known at that time
};

// Records longer than this are written as several, each with the block's time.
inline constexpr std::size_t kMaxRecordBytes = 65536;

void append_line_block(std::vector<std::uint8_t>& out, std::uint32_t interface, const LineBlock& block);

// An RTAC Serial record with no bytes (a status change, lost data) carrying `comment`.
void append_serial_event(std::vector<std::uint8_t>& out, std::uint32_t interface, std::int64_t time_us,
                         SerialEvent event, std::uint8_t lines, std::string_view comment);

// A frame without its flags (HDLC, PPP) and with its check octets as received. PPP frames get the
// one-octet direction LINKTYPE_PPP_WITH_DIR puts before them: 0 received, 1 sent.
void append_frame(std::vector<std::uint8_t>& out, std::uint32_t interface, FrameKind kind, Direction direction,
                  std::int64_t time_us, std::span<const std::uint8_t> frame);

}  // namespace capture
