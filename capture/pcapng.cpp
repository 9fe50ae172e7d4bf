#include "capture/pcapng.h"

#include <algorithm>

#include "capture/byte_order.h"

namespace capture::pcapng {

namespace {

constexpr std::uint8_t kMicroseconds = 6;  // if_tsresol: 10^-6 s
// An option's length is 16 bits; a longer text is cut there, at the start of a UTF-8 character.
constexpr std::size_t kMaxOptionText = 65532;

std::size_t padded(std::size_t size) { return (size + 3) & ~std::size_t{3}; }

std::string_view cut_text(std::string_view text) {
  if (text.size() <= kMaxOptionText) return text;
  std::size_t end = kMaxOptionText;
  while (end > 0 && (static_cast<std::uint8_t>(text[end]) & 0xC0) == 0x80) --end;
  return text.substr(0, end);
}

void pad(std::vector<std::uint8_t>& out, std::size_t written) { out.resize(out.size() + padded(written) - written); }

void append_option(std::vector<std::uint8_t>& out, std::uint16_t code, std::span<const std::uint8_t> value) {
  append(out, 2, code);
  append(out, 2, value.size());
  out.insert(out.end(), value.begin(), value.end());
  pad(out, value.size());
}

void append_text_option(std::vector<std::uint8_t>& out, std::uint16_t code, std::string_view text) {
  if (text.empty()) return;
  const std::string_view cut = cut_text(text);
  append_option(out, code, {reinterpret_cast<const std::uint8_t*>(cut.data()), cut.size()});
}

std::size_t text_option_size(std::string_view text) {
  return text.empty() ? 0 : 4 + padded(cut_text(text).size());
}

void end_options(std::vector<std::uint8_t>& out) { append(out, 4, kOptEnd); }

// Opens a block: its type and a length filled in by close_block.
std::size_t open_block(std::vector<std::uint8_t>& out, std::uint32_t type) {
  const std::size_t start = out.size();
  append(out, 4, type);
  append(out, 4, 0);
  return start;
}

void close_block(std::vector<std::uint8_t>& out, std::size_t start) {
  const std::size_t total = out.size() - start + 4;
  store(out.data() + start + 4, 4, total, ByteOrder::Little);
  append(out, 4, total);
}

std::uint32_t direction_flags(Direction direction) {
  switch (direction) {
    case Direction::Received: return kFlagInbound;
    case Direction::Sent: return kFlagOutbound;
    default: return 0;
  }
}

std::size_t captured_length(const Packet& packet) {
  return std::min(packet.head.size() + packet.body.size(), kMaxPacketData);
}

}  // namespace

void append_section_header(std::vector<std::uint8_t>& out, std::string_view application) {
  const std::size_t start = open_block(out, kSectionHeaderBlock);
  append(out, 4, kByteOrderMagic);
  append(out, 2, 1);  // version 1.0
  append(out, 2, 0);
  append(out, 8, ~std::uint64_t{0});  // section length not given: the writer streams
  append_text_option(out, kShbOs, "Linux");
  append_text_option(out, kShbUserApplication, application);
  end_options(out);
  close_block(out, start);
}

void append_interface(std::vector<std::uint8_t>& out, std::uint16_t link_type, std::string_view name,
                      std::string_view description) {
  const std::size_t start = open_block(out, kInterfaceBlock);
  append(out, 2, link_type);
  append(out, 2, 0);
  append(out, 4, 0);  // no snapshot length
  append_text_option(out, kIfName, name);
  append_text_option(out, kIfDescription, description);
  append_option(out, kIfTsresol, std::span(&kMicroseconds, 1));
  end_options(out);
  close_block(out, start);
}

std::size_t packet_size(const Packet& packet) {
  const std::size_t options = text_option_size(packet.comment) + 8 + 4;  // comment, flags, end
  return 12 + 20 + padded(captured_length(packet)) + options;
}

void append_packet(std::vector<std::uint8_t>& out, const Packet& packet) {
  const std::size_t start = open_block(out, kEnhancedPacketBlock);
  const auto time = static_cast<std::uint64_t>(std::max<std::int64_t>(packet.time_us, 0));
  const std::size_t captured = captured_length(packet);
  append(out, 4, packet.interface);
  append(out, 4, time >> 32);
  append(out, 4, time & 0xFFFFFFFF);
  append(out, 4, captured);
  append(out, 4, packet.head.size() + packet.body.size());
  const std::size_t head = std::min(packet.head.size(), captured);
  out.insert(out.end(), packet.head.begin(), packet.head.begin() + static_cast<std::ptrdiff_t>(head));
  out.insert(out.end(), packet.body.begin(), packet.body.begin() + static_cast<std::ptrdiff_t>(captured - head));
  pad(out, captured);
  append_text_option(out, kOptComment, packet.comment);
  append(out, 2, kEpbFlags);
  append(out, 2, 4);
  append(out, 4, direction_flags(packet.direction));
  end_options(out);
  close_block(out, start);
}

}  // namespace capture::pcapng
