#include "capture/serial_record.h"

#include "capture/byte_order.h"

namespace capture {

namespace {

constexpr std::int64_t kMicrosPerSecond = 1'000'000;

}  // namespace

SerialHeaderBytes encode_serial_header(const SerialHeader& header) {
  SerialHeaderBytes out{};
  // The record's own clock field is 32-bit seconds: times before 1970 read as 1970.
  const std::int64_t time = header.time_us < 0 ? 0 : header.time_us;
  store(out.data(), 4, static_cast<std::uint64_t>(time / kMicrosPerSecond), ByteOrder::Big);
  store(out.data() + 4, 4, static_cast<std::uint64_t>(time % kMicrosPerSecond), ByteOrder::Big);
  out[8] = static_cast<std::uint8_t>(header.event);
  out[9] = header.lines;
  return out;
}

std::optional<SerialHeader> decode_serial_header(std::span<const std::uint8_t> record) {
  if (record.size() < kSerialHeaderSize) return std::nullopt;
  SerialHeader header;
  const std::int64_t seconds = load32(record.data(), ByteOrder::Big);
  const std::int64_t micros = load32(record.data() + 4, ByteOrder::Big);
  header.time_us = seconds * kMicrosPerSecond + micros;
  header.event = static_cast<SerialEvent>(record[8]);
  header.lines = record[9];
  return header;
}

SerialEvent data_event(Direction direction) {
  return direction == Direction::Sent ? SerialEvent::DataTxStart : SerialEvent::DataRxStart;
}

Direction direction_of(SerialEvent event) {
  switch (event) {
    case SerialEvent::DataTxStart:
    case SerialEvent::DataTxEnd: return Direction::Sent;
    case SerialEvent::DataRxStart:
    case SerialEvent::DataRxEnd: return Direction::Received;
    default: return Direction::Unknown;
  }
}

}  // namespace capture
