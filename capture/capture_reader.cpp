#include "capture/capture_reader.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>
#include <system_error>

#include "capture/pcapng.h"

namespace capture {

namespace {

constexpr std::uint32_t kMaxBlock = 16 * 1024 * 1024;
constexpr std::uint32_t kPcapMicros = 0xA1B2C3D4;
constexpr std::uint32_t kPcapNanos = 0xA1B23C4D;
constexpr std::size_t kPcapHeaderRest = 20;  // after the magic number
constexpr std::size_t kPcapRecordHeader = 16;
constexpr std::int64_t kNanosPerSecond = 1'000'000'000;
// Seconds that still fit in nanoseconds of an int64 (about 292 years either side of 1970).
constexpr std::int64_t kMaxSeconds = std::numeric_limits<std::int64_t>::max() / kNanosPerSecond - 1;

std::size_t padded(std::size_t size) { return (size + 3) & ~std::size_t{3}; }

std::string text_of(std::span<const std::uint8_t> value) { return {value.begin(), value.end()}; }

std::int64_t to_nanoseconds(std::uint64_t ts, std::uint64_t units_per_second, std::int64_t offset_s) {
  const std::uint64_t seconds = std::min<std::uint64_t>(ts / units_per_second, kMaxSeconds);
  const long double rest = static_cast<long double>(ts % units_per_second);
  const auto fraction = static_cast<std::int64_t>(rest * kNanosPerSecond / static_cast<long double>(units_per_second));
  const std::int64_t offset = std::clamp(offset_s, -kMaxSeconds, kMaxSeconds);
  const std::int64_t whole = std::clamp(static_cast<std::int64_t>(seconds) + offset, -kMaxSeconds, kMaxSeconds);
  return whole * kNanosPerSecond + fraction;
}

// if_tsresol: bit 7 clear, 10^-v seconds; set, 2^-v. Zero when no 64-bit count can hold it.
std::uint64_t units_per_second(std::uint8_t tsresol) {
  const unsigned exponent = tsresol & 0x7F;
  if (tsresol & 0x80) return exponent < 64 ? std::uint64_t{1} << exponent : 0;
  if (exponent > 19) return 0;
  std::uint64_t units = 1;
  for (unsigned i = 0; i < exponent; ++i) units *= 10;
  return units;
}

// Calls on_option(code, value) for each option in `options`; a broken option ends the list.
template <class OnOption>
void for_each_option(std::span<const std::uint8_t> options, ByteOrder order, OnOption&& on_option) {
  while (options.size() >= 4) {
    const std::uint16_t code = load16(options.data(), order);
    const std::size_t length = load16(options.data() + 2, order);
    if (code == pcapng::kOptEnd || length > options.size() - 4) return;
    on_option(code, options.subspan(4, length));
    options = options.subspan(std::min(options.size(), 4 + padded(length)));
  }
}

// A packet may carry several comments: one a line.
void add_comment(std::string& comments, std::span<const std::uint8_t> value) {
  if (!comments.empty()) comments += '\n';
  comments.append(value.begin(), value.end());
}

Direction flags_direction(std::uint32_t flags) {
  switch (flags & 3) {
    case pcapng::kFlagInbound: return Direction::Received;
    case pcapng::kFlagOutbound: return Direction::Sent;
    default: return Direction::Unknown;
  }
}

}  // namespace

bool CaptureReader::open(const std::string& path) {
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec)) return refuse(path + " is a folder, not a capture file");
  auto file = std::make_unique<std::ifstream>(path, std::ios::binary);
  if (!*file) return refuse(path + ": " + std::error_code(errno, std::generic_category()).message());
  return start(std::move(file), path);
}

bool CaptureReader::open_bytes(std::span<const std::uint8_t> bytes, const std::string& name) {
  return start(std::make_unique<std::istringstream>(std::string(bytes.begin(), bytes.end())), name);
}

bool CaptureReader::start(std::unique_ptr<std::istream> in, const std::string& name) {
  *this = CaptureReader{};
  in_ = std::move(in);
  name_ = name;
  std::uint8_t magic[4];
  const Read got = read(magic, sizeof magic);
  if (got == Read::None) return refuse(name_ + " is empty: there is no capture in it");
  if (got == Read::Whole) {
    const std::uint32_t value = load32(magic, ByteOrder::Little);
    if (value == pcapng::kSectionHeaderBlock) return start_pcapng();
    for (const ByteOrder order : {ByteOrder::Little, ByteOrder::Big}) {
      const std::uint32_t word = load32(magic, order);
      if (word != kPcapMicros && word != kPcapNanos) continue;
      order_ = order;
      return start_pcap(word);
    }
  }
  return refuse(name_ + " is not a capture file (neither pcapng nor pcap)");
}

bool CaptureReader::start_pcap(std::uint32_t magic) {
  std::uint8_t header[kPcapHeaderRest];
  if (read(header, sizeof header) != Read::Whole) return refuse(name_ + " is cut short in its pcap header");
  nanoseconds_ = magic == kPcapNanos;
  interfaces_.push_back({static_cast<std::uint16_t>(load32(header + 16, order_) & 0xFFFF), {}, {}});
  clocks_.push_back({nanoseconds_ ? 1'000'000'000u : 1'000'000u, 0});
  format_ = Format::Pcap;
  return true;
}

bool CaptureReader::start_pcapng() {
  format_ = Format::Pcapng;
  return read_section_header();
}

std::optional<CaptureRecord> CaptureReader::next() {
  if (!in_ || !error_.empty()) return std::nullopt;
  std::optional<CaptureRecord> record = format_ == Format::Pcap ? next_pcap() : next_pcapng();
  if (record) ++records_;
  return record;
}

std::optional<CaptureRecord> CaptureReader::next_pcap() {
  block_start_ = offset_;
  std::uint8_t header[kPcapRecordHeader];
  const Read got = read(header, sizeof header);
  if (got == Read::None) return std::nullopt;
  if (got == Read::Part) return cut_short();
  const std::uint32_t captured = load32(header + 8, order_);
  if (captured > kMaxBlock) return damaged("a packet of " + std::to_string(captured) + " bytes");
  block_.resize(captured);
  if (read(block_.data(), captured) != Read::Whole) return cut_short();
  const std::uint64_t seconds = load32(header, order_);
  const std::uint64_t fraction = load32(header + 4, order_);
  const std::uint64_t ts = seconds * clocks_[0].units_per_second + fraction;
  return make_record(0, to_nanoseconds(ts, clocks_[0].units_per_second, 0), block_);
}

std::optional<CaptureRecord> CaptureReader::next_pcapng() {
  for (;;) {
    block_start_ = offset_;
    std::uint8_t head[4];
    const Read got = read(head, sizeof head);
    if (got == Read::None) return std::nullopt;
    if (got == Read::Part) return cut_short();
    const std::uint32_t type = load32(head, order_);
    if (type == pcapng::kSectionHeaderBlock) {
      if (!read_section_header()) return std::nullopt;
      continue;
    }
    std::uint8_t length_bytes[4];
    if (read(length_bytes, sizeof length_bytes) != Read::Whole) return cut_short();
    if (!read_block_body(type, load32(length_bytes, order_))) return std::nullopt;
    if (type == pcapng::kInterfaceBlock) {
      if (!take_interface()) return std::nullopt;
    } else if (type == pcapng::kEnhancedPacketBlock || type == pcapng::kSimplePacketBlock ||
               type == pcapng::kObsoletePacketBlock) {
      return take_packet(type);
    }
  }
}

// The block's body and trailer after its type and length; block_ holds the body.
bool CaptureReader::read_block_body(std::uint32_t type, std::uint32_t length) {
  return length_fits(length, 12, "a block of type " + std::to_string(type)) && read_rest(length, 0);
}

bool CaptureReader::length_fits(std::uint32_t length, std::uint32_t least, const std::string& what) {
  if (length >= least && length % 4 == 0 && length <= kMaxBlock) return true;
  damaged(what + " claims " + std::to_string(length) + " bytes");
  return false;
}

// The rest of a block of `length` octets whose type, length and `taken` octets more are read:
// block_ holds the body after those, the trailing length checked and dropped.
bool CaptureReader::read_rest(std::uint32_t length, std::size_t taken) {
  block_.resize(length - 8 - taken);
  if (read(block_.data(), block_.size()) != Read::Whole) {
    cut_short();
    return false;
  }
  if (load32(block_.data() + block_.size() - 4, order_) != length) {
    damaged("a block whose two lengths differ");
    return false;
  }
  block_.resize(block_.size() - 4);
  return true;
}

// A section header after its type: the byte-order magic decides how every later number reads.
bool CaptureReader::read_section_header() {
  std::uint8_t head[8];
  if (read(head, sizeof head) != Read::Whole) {
    cut_short();
    return false;
  }
  const bool little = load32(head + 4, ByteOrder::Little) == pcapng::kByteOrderMagic;
  if (!little && load32(head + 4, ByteOrder::Big) != pcapng::kByteOrderMagic) {
    damaged("a section header without the byte-order magic");
    return false;
  }
  order_ = little ? ByteOrder::Little : ByteOrder::Big;
  const std::uint32_t length = load32(head, order_);
  if (!length_fits(length, 28, "a section header") || !read_rest(length, 4)) return false;
  if (const std::uint16_t major = load16(block_.data(), order_); major != 1) {
    damaged("pcapng version " + std::to_string(major) + ", which this reader does not know");
    return false;
  }
  section_.clear();
  return true;
}

bool CaptureReader::take_interface() {
  if (block_.size() < 8) {
    damaged("an interface description too short to hold one");
    return false;
  }
  CaptureInterface interface{load16(block_.data(), order_), {}, {}};
  Clock clock;
  std::uint8_t tsresol = 6;
  for_each_option(std::span(block_).subspan(8), order_, [&](std::uint16_t code, std::span<const std::uint8_t> value) {
    if (code == pcapng::kIfName) interface.name = text_of(value);
    if (code == pcapng::kIfDescription) interface.description = text_of(value);
    if (code == pcapng::kIfTsresol && !value.empty()) tsresol = value[0];
    if (code == pcapng::kIfTsoffset && value.size() >= 8)
      clock.offset_s = static_cast<std::int64_t>(load64(value.data(), order_));
  });
  clock.units_per_second = units_per_second(tsresol);
  if (clock.units_per_second == 0) {
    damaged("an interface whose time resolution no 64-bit count can hold");
    return false;
  }
  section_.push_back(interfaces_.size());
  interfaces_.push_back(std::move(interface));
  clocks_.push_back(clock);
  return true;
}

std::optional<CaptureRecord> CaptureReader::take_packet(std::uint32_t type) {
  std::uint32_t interface = 0;
  std::uint64_t ts = 0;
  std::span<const std::uint8_t> data;
  std::span<const std::uint8_t> options;
  if (!packet_fields(type, interface, ts, data, options)) return std::nullopt;
  if (interface >= section_.size())
    return damaged("a packet of interface " + std::to_string(interface) + ", which the file never described");
  const std::size_t global = section_[interface];
  const Clock& clock = clocks_[global];
  // A simple packet block carries no time: 0, not the interface's offset.
  const bool timed = type != pcapng::kSimplePacketBlock;
  CaptureRecord record = make_record(global, timed ? to_nanoseconds(ts, clock.units_per_second, clock.offset_s) : 0, data);
  for_each_option(options, order_, [&](std::uint16_t code, std::span<const std::uint8_t> value) {
    if (code == pcapng::kOptComment) add_comment(record.comment, value);
    if (code == pcapng::kEpbFlags && value.size() >= 4 && record.direction == Direction::Unknown)
      record.direction = flags_direction(load32(value.data(), order_));
  });
  return record;
}

// The fields of an enhanced, simple or obsolete packet block in block_.
bool CaptureReader::packet_fields(std::uint32_t type, std::uint32_t& interface, std::uint64_t& ts,
                                  std::span<const std::uint8_t>& data, std::span<const std::uint8_t>& options) {
  const std::span<const std::uint8_t> body = block_;
  if (type == pcapng::kSimplePacketBlock) {
    if (body.size() < 4) {
      damaged("a simple packet block too short to hold one");
      return false;
    }
    data = body.subspan(4, std::min<std::size_t>(load32(body.data(), order_), body.size() - 4));
    return true;
  }
  if (body.size() < 20) {
    damaged("a packet block too short to hold one");
    return false;
  }
  const bool obsolete = type == pcapng::kObsoletePacketBlock;
  interface = obsolete ? load16(body.data(), order_) : load32(body.data(), order_);
  ts = (std::uint64_t{load32(body.data() + 4, order_)} << 32) | load32(body.data() + 8, order_);
  const std::uint32_t captured = load32(body.data() + 12, order_);
  if (captured > body.size() - 20) {
    damaged("a packet longer than its block");
    return false;
  }
  data = body.subspan(20, captured);
  options = body.subspan(std::min(body.size(), 20 + padded(captured)));
  return true;
}

CaptureRecord CaptureReader::make_record(std::size_t interface, std::int64_t time_ns,
                                         std::span<const std::uint8_t> data) const {
  CaptureRecord record;
  record.interface = interface;
  record.link_type = interfaces_[interface].link_type;
  record.time_ns = time_ns;
  if (record.link_type == kLinkRtacSerial) {
    if (const std::optional<SerialHeader> header = decode_serial_header(data)) {
      record.event = header->event;
      record.lines = header->lines;
      record.direction = direction_of(header->event);
      data = data.subspan(kSerialHeaderSize);
    }
  } else if (record.link_type == kLinkPppWithDir && !data.empty()) {
    record.direction = data[0] == 0 ? Direction::Received : Direction::Sent;
    data = data.subspan(1);
  }
  record.bytes.assign(data.begin(), data.end());
  return record;
}

CaptureReader::Read CaptureReader::read(std::uint8_t* into, std::size_t size) {
  in_->read(reinterpret_cast<char*>(into), static_cast<std::streamsize>(size));
  const auto got = static_cast<std::size_t>(in_->gcount());
  offset_ += got;
  if (got == size) return Read::Whole;
  return got == 0 ? Read::None : Read::Part;
}

std::nullopt_t CaptureReader::damaged(const std::string& what) {
  error_ = name_ + " is damaged at byte " + std::to_string(block_start_) + " (" + what + "); " +
           std::to_string(records_) + " records before it were read";
  return std::nullopt;
}

std::nullopt_t CaptureReader::cut_short() {
  error_ = name_ + " is cut short at byte " + std::to_string(offset_) + " (its last record is incomplete); " +
           std::to_string(records_) + " records before it were read";
  return std::nullopt;
}

bool CaptureReader::refuse(const std::string& why) {
  error_ = why;
  return false;
}

}  // namespace capture
