#include "capture/capture_records.h"

#include <algorithm>
#include <array>

#include "capture/pcapng.h"

namespace capture {

void append_line_block(std::vector<std::uint8_t>& out, std::uint32_t interface, const LineBlock& block) {
  const SerialHeaderBytes header = encode_serial_header({block.time_us, data_event(block.direction), block.lines});
  std::span<const std::uint8_t> rest = block.bytes;
  do {
    const std::span<const std::uint8_t> part = rest.first(std::min(rest.size(), kMaxRecordBytes));
    pcapng::append_packet(out, {interface, block.time_us, block.direction, header, part, {}});
    rest = rest.subspan(part.size());
  } while (!rest.empty());
}

void append_serial_event(std::vector<std::uint8_t>& out, std::uint32_t interface, std::int64_t time_us,
                         SerialEvent event, std::uint8_t lines, std::string_view comment) {
  const SerialHeaderBytes header = encode_serial_header({time_us, event, lines});
  pcapng::append_packet(out, {interface, time_us, Direction::Unknown, header, {}, comment});
}

void append_frame(std::vector<std::uint8_t>& out, std::uint32_t interface, FrameKind kind, Direction direction,
                  std::int64_t time_us, std::span<const std::uint8_t> frame) {
  const std::array<std::uint8_t, 1> ppp_direction = {direction == Direction::Sent ? std::uint8_t{1} : std::uint8_t{0}};
  std::span<const std::uint8_t> head;
  if (kind == FrameKind::Ppp) head = ppp_direction;
  pcapng::append_packet(out, {interface, time_us, direction, head, frame, {}});
}

}  // namespace capture
