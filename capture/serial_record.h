// RTAC Serial records (LINKTYPE_RTAC_SERIAL, 250), the link type Wireshark's "RTAC Serial"
// dissector reads: a 12-octet header, big-endian, then the line's bytes.
//
//   octet 0   u32  seconds since 1970        (the block's arrival time)
//         4   u32  microseconds
//         8   u8   event type                (SerialEvent)
//         9   u8   control lines             (capture::lines bits)
//        10   u16  footer, 0
//        12   the bytes received or sent
//
// Received bytes are DATA_RX_START records, sent bytes DATA_TX_START; a status change with no
// bytes carries the comments (setting changes, transfers) and CAPTURE_DATA_LOST marks a gap.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>

#include "capture/capture_types.h"

namespace capture {

enum class SerialEvent : std::uint8_t {
  StatusChange = 0x00,
  DataTxStart = 0x01,
  DataRxStart = 0x02,
  DataTxEnd = 0x03,
  DataRxEnd = 0x04,
  CaptureDataLost = 0x05,
  CaptureComplete = 0x06,
  FramingError = 0x07,
  ParityError = 0x08,
  SerialBreak = 0x09,
  SerialOverflow = 0x0A,
};

inline constexpr std::size_t kSerialHeaderSize = 12;
using SerialHeaderBytes = std::array<std::uint8_t, kSerialHeaderSize>;

struct SerialHeader {
  std::int64_t time_us = 0;
  SerialEvent event = SerialEvent::StatusChange;
  std::uint8_t lines = 0;
};

SerialHeaderBytes encode_serial_header(const SerialHeader& header);
// The header at the start of `record`; nothing when it is shorter than a header.
std::optional<SerialHeader> decode_serial_header(std::span<const std::uint8_t> record);

SerialEvent data_event(Direction direction);  // DATA_RX_START, or DATA_TX_START for Sent
Direction direction_of(SerialEvent event);    // Unknown for events that carry no data

}  // namespace capture
