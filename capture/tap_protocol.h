// Messages on a tap socket, from the program that holds a port to a client such as the extcap.
//
// Each message is a 16-octet header and a body, little-endian:
//   u32 body length   u8 kind   u8 direction (Direction)   u8 control lines   u8 0   i64 time (µs since 1970)
// Hello   (first, once) body: u8 version, then the port's description (device, settings) as text
// Data    bytes that crossed the line, stamped when they did
// Comment a setting change or a transfer, as text
// Lost    the server skipped this client for a while: u64 blocks, u64 bytes it did not send
// A body longer than 1 MiB, an unknown kind or direction, breaks the stream: the client stops.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "capture/capture_types.h"

namespace capture {

enum class TapKind : std::uint8_t { Hello = 1, Data = 2, Comment = 3, Lost = 4 };

inline constexpr std::uint8_t kTapVersion = 1;
inline constexpr std::size_t kTapHeaderSize = 16;
inline constexpr std::size_t kMaxTapBody = 1024 * 1024;

struct TapMessage {
  TapKind kind = TapKind::Data;
  Direction direction = Direction::Unknown;
  std::uint8_t lines = 0;
  std::int64_t time_us = 0;
  std::vector<std::uint8_t> body;
};

// Appends one message; a body longer than kMaxTapBody is cut to it (callers split data first).
void append_tap_message(std::vector<std::uint8_t>& out, TapKind kind, Direction direction, std::uint8_t lines,
                        std::int64_t time_us, std::span<const std::uint8_t> body);
void append_tap_hello(std::vector<std::uint8_t>& out, const std::string& description);
void append_tap_lost(std::vector<std::uint8_t>& out, std::int64_t time_us, std::uint64_t blocks, std::uint64_t bytes);

// What a Hello or Lost message's body says.
std::string hello_description(const TapMessage& hello);
std::uint64_t lost_blocks(const TapMessage& lost);
std::uint64_t lost_bytes(const TapMessage& lost);

// Cuts a byte stream into messages, however the stream was split on the way.
class TapDecoder {
 public:
  // Appends each message completed by `bytes` to `out`; false (for good) once the stream is broken.
  bool feed(std::span<const std::uint8_t> bytes, std::vector<TapMessage>& out);
  const std::string& error() const { return error_; }

 private:
  bool take(std::vector<TapMessage>& out);

  std::vector<std::uint8_t> buffer_;
  std::size_t start_ = 0;  // of the first message not yet taken
  std::string error_;
};

}  // namespace capture
