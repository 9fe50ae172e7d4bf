#include "capture/tap_protocol.h"

#include <algorithm>

#include "capture/byte_order.h"

namespace capture {

namespace {

bool known_kind(std::uint8_t kind) { return kind >= 1 && kind <= 4; }

std::uint64_t body_word(const TapMessage& message, std::size_t at) {
  return message.body.size() >= at + 8 ? load64(message.body.data() + at, ByteOrder::Little) : 0;
}

}  // namespace

void append_tap_message(std::vector<std::uint8_t>& out, TapKind kind, Direction direction, std::uint8_t lines,
                        std::int64_t time_us, std::span<const std::uint8_t> body) {
  body = body.first(std::min(body.size(), kMaxTapBody));
  append(out, 4, body.size());
  append(out, 1, static_cast<std::uint8_t>(kind));
  append(out, 1, static_cast<std::uint8_t>(direction));
  append(out, 1, lines);
  append(out, 1, 0);
  append(out, 8, static_cast<std::uint64_t>(time_us));
  out.insert(out.end(), body.begin(), body.end());
}

void append_tap_hello(std::vector<std::uint8_t>& out, const std::string& description) {
  std::vector<std::uint8_t> body = {kTapVersion};
  body.insert(body.end(), description.begin(), description.end());
  append_tap_message(out, TapKind::Hello, Direction::Unknown, 0, 0, body);
}

void append_tap_lost(std::vector<std::uint8_t>& out, std::int64_t time_us, std::uint64_t blocks, std::uint64_t bytes) {
  std::vector<std::uint8_t> body;
  append(body, 8, blocks);
  append(body, 8, bytes);
  append_tap_message(out, TapKind::Lost, Direction::Unknown, 0, time_us, body);
}

std::string hello_description(const TapMessage& hello) {
  if (hello.body.empty()) return {};
  return {hello.body.begin() + 1, hello.body.end()};
}

std::uint64_t lost_blocks(const TapMessage& lost) { return body_word(lost, 0); }
std::uint64_t lost_bytes(const TapMessage& lost) { return body_word(lost, 8); }

bool TapDecoder::feed(std::span<const std::uint8_t> bytes, std::vector<TapMessage>& out) {
  if (!error_.empty()) return false;
  // What was taken is dropped before the buffer grows, so it holds one message at most.
  buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(start_));
  start_ = 0;
  buffer_.insert(buffer_.end(), bytes.begin(), bytes.end());
  while (take(out)) {
  }
  return error_.empty();
}

// Takes the first whole message in the buffer; false when there is none (or the stream broke).
bool TapDecoder::take(std::vector<TapMessage>& out) {
  const std::size_t waiting = buffer_.size() - start_;
  if (waiting < kTapHeaderSize) return false;
  const std::uint8_t* head = buffer_.data() + start_;
  const std::uint32_t length = load32(head, ByteOrder::Little);
  if (length > kMaxTapBody || !known_kind(head[4]) || head[5] > static_cast<std::uint8_t>(Direction::Sent)) {
    error_ = "the tap sent something that is not a message (" + std::to_string(length) + " bytes of kind " +
             std::to_string(head[4]) + ")";
    return false;
  }
  if (waiting < kTapHeaderSize + length) return false;
  TapMessage message;
  message.kind = static_cast<TapKind>(head[4]);
  message.direction = static_cast<Direction>(head[5]);
  message.lines = head[6];
  message.time_us = static_cast<std::int64_t>(load64(head + 8, ByteOrder::Little));
  message.body.assign(head + kTapHeaderSize, head + kTapHeaderSize + length);
  out.push_back(std::move(message));
  start_ += kTapHeaderSize + length;
  return true;
}

}  // namespace capture
