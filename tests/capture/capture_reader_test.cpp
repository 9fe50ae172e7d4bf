// The capture reader on files built here octet by octet: pcapng and pcap in both byte orders and
// with several time resolutions, and files that are no capture, cut short or damaged.
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "capture/byte_order.h"
#include "capture/capture_reader.h"
#include "capture/serial_record.h"

namespace {

using capture::ByteOrder;
using capture::CaptureReader;
using capture::CaptureRecord;
using capture::Direction;

constexpr std::uint64_t kSeconds = 1'700'000'000;
constexpr std::int64_t kTimeNs = 1'700'000'000'250'000'000;  // kSeconds and a quarter

// Octets in the byte order of the file being built.
struct Octets {
  ByteOrder order;
  std::vector<std::uint8_t> data;

  Octets& n(int size, std::uint64_t value) {
    const std::size_t at = data.size();
    data.resize(at + static_cast<std::size_t>(size));
    capture::store(data.data() + at, size, value, order);
    return *this;
  }
  // pcapng pads to 4 octets; pcap does not.
  Octets& raw(const std::vector<std::uint8_t>& bytes, bool pad = true) {
    data.insert(data.end(), bytes.begin(), bytes.end());
    while (pad && data.size() % 4 != 0) data.push_back(0);
    return *this;
  }
  Octets& option(std::uint16_t code, const std::vector<std::uint8_t>& value) {
    n(2, code).n(2, value.size());
    return raw(value);
  }
  // Wraps the body into a block of `type`.
  Octets& block(std::uint32_t type, const std::function<void(Octets&)>& body) {
    Octets inner{order, {}};
    body(inner);
    n(4, type).n(4, inner.data.size() + 12);
    data.insert(data.end(), inner.data.begin(), inner.data.end());
    return n(4, inner.data.size() + 12);
  }
};

std::vector<std::uint8_t> text(const std::string& s) { return {s.begin(), s.end()}; }

// An RTAC Serial record of received "hi" (its own clock says kSeconds).
std::vector<std::uint8_t> rtac_hi() {
  const capture::SerialHeaderBytes header =
      capture::encode_serial_header({static_cast<std::int64_t>(kSeconds) * 1'000'000 + 250'000,
                                     capture::SerialEvent::DataRxStart, capture::lines::kCts});
  std::vector<std::uint8_t> record(header.size() + 2, 'h');
  std::copy(header.begin(), header.end(), record.begin());
  record.back() = 'i';
  return record;
}

const std::vector<std::uint8_t> kSentPpp = {0x01, 0xFF, 0x03, 0xC0, 0x21};  // direction octet: sent

// A section with an RTAC Serial interface and a PPP one, a block the reader does not know, one
// packet each and a simple packet; `ts` is kTimeNs in the interface's units, less `offset_s`.
std::vector<std::uint8_t> pcapng_file(ByteOrder order, std::uint8_t tsresol, std::uint64_t ts, std::int64_t offset_s) {
  Octets f{order, {}};
  f.block(0x0A0D0D0A, [](Octets& b) { b.n(4, 0x1A2B3C4D).n(2, 1).n(2, 0).n(8, ~0ull).n(4, 0); });
  const auto interface = [&](std::uint16_t link, const std::string& name) {
    f.block(1, [&](Octets& b) {
      b.n(2, link).n(2, 0).n(4, 0).option(2, text(name)).option(3, text(name + " on /dev/ttyS0")).option(9, {tsresol});
      if (offset_s != 0) b.n(2, 14).n(2, 8).n(8, static_cast<std::uint64_t>(offset_s));
      b.n(4, 0);
    });
  };
  interface(250, "Port A");
  f.block(0x00000BAD, [](Octets& b) { b.n(4, 12345); });  // a custom block: skipped
  interface(204, "Port A PPP");
  const auto packet = [&](std::uint32_t id, const std::vector<std::uint8_t>& data, const std::vector<std::uint8_t>& options) {
    f.block(6, [&](Octets& b) { b.n(4, id).n(4, ts >> 32).n(4, ts & 0xFFFFFFFF).n(4, data.size()).n(4, data.size()).raw(data).raw(options); });
  };
  Octets comment{order, {}};
  comment.option(1, text("set to 9600")).n(4, 0);
  packet(0, rtac_hi(), comment.data);
  packet(1, kSentPpp, {});
  // A simple packet block: interface 0, no time, its data longer than the original length says.
  f.block(3, [](Octets& b) { b.n(4, 2).raw({'o', 'k', '!'}); });
  return f.data;
}

std::vector<std::uint8_t> pcap_file(ByteOrder order, bool nanoseconds) {
  Octets f{order, {}};
  f.n(4, nanoseconds ? 0xA1B23C4D : 0xA1B2C3D4).n(2, 2).n(2, 4).n(4, 0).n(4, 0).n(4, 65535).n(4, 250);
  const std::vector<std::uint8_t> record = rtac_hi();
  for (int i = 0; i < 2; ++i)
    f.n(4, kSeconds).n(4, nanoseconds ? 250'000'000 : 250'000).n(4, record.size()).n(4, record.size()).raw(record, false);
  return f.data;
}

std::vector<CaptureRecord> read_all(CaptureReader& reader) {
  std::vector<CaptureRecord> records;
  while (std::optional<CaptureRecord> record = reader.next()) records.push_back(std::move(*record));
  return records;
}

void expect_rtac_hi(const CaptureRecord& r) {
  EXPECT_EQ(r.time_ns, kTimeNs);
  EXPECT_EQ(r.event, capture::SerialEvent::DataRxStart);
  EXPECT_EQ(r.direction, Direction::Received);
  EXPECT_EQ(r.lines, capture::lines::kCts);
  EXPECT_EQ(r.bytes, text("hi"));
}

struct Layout {
  const char* name;
  std::vector<std::uint8_t> file;
};

TEST(CaptureReader, ReadsPcapngInEitherByteOrderAndEveryTimeResolution) {
  constexpr std::uint64_t kMicros = kTimeNs / 1000;
  const std::vector<Layout> layouts = {
      {"little-endian, microseconds", pcapng_file(ByteOrder::Little, 6, kMicros, 0)},
      {"big-endian, microseconds", pcapng_file(ByteOrder::Big, 6, kMicros, 0)},
      {"nanoseconds", pcapng_file(ByteOrder::Big, 9, kTimeNs, 0)},
      {"2^-10 seconds", pcapng_file(ByteOrder::Little, 0x8A, kSeconds * 1024 + 256, 0)},
      {"an offset of 1000 s", pcapng_file(ByteOrder::Little, 6, kMicros - 1'000'000'000, 1000)},
  };
  for (const Layout& layout : layouts) {
    SCOPED_TRACE(layout.name);
    CaptureReader reader;
    ASSERT_TRUE(reader.open_bytes(layout.file, "test.pcapng")) << reader.error();
    EXPECT_EQ(reader.format(), CaptureReader::Format::Pcapng);
    const std::vector<CaptureRecord> records = read_all(reader);
    EXPECT_EQ(reader.error(), "");
    ASSERT_EQ(records.size(), 3u);
    expect_rtac_hi(records[0]);
    EXPECT_EQ(records[0].comment, "set to 9600");
    EXPECT_EQ(records[1].interface, 1u);
    EXPECT_EQ(records[1].direction, Direction::Sent);
    EXPECT_EQ(records[1].bytes, (std::vector<std::uint8_t>{0xFF, 0x03, 0xC0, 0x21}));
    EXPECT_EQ(records[2].interface, 0u);
    EXPECT_EQ(records[2].time_ns, 0);
    EXPECT_EQ(records[2].bytes, text("ok"));  // an RTAC record too short for its header: as it is
    ASSERT_EQ(reader.interfaces().size(), 2u);
    EXPECT_EQ(reader.interfaces()[0].name, "Port A");
    EXPECT_EQ(reader.interfaces()[0].description, "Port A on /dev/ttyS0");
    EXPECT_EQ(reader.interfaces()[1].link_type, capture::kLinkPppWithDir);
  }
}

TEST(CaptureReader, ReadsPcapInEitherByteOrderWithMicroOrNanoseconds) {
  for (const ByteOrder order : {ByteOrder::Little, ByteOrder::Big}) {
    for (const bool nanoseconds : {false, true}) {
      SCOPED_TRACE(std::string(order == ByteOrder::Big ? "big" : "little") + (nanoseconds ? ", ns" : ", µs"));
      CaptureReader reader;
      ASSERT_TRUE(reader.open_bytes(pcap_file(order, nanoseconds), "test.pcap")) << reader.error();
      EXPECT_EQ(reader.format(), CaptureReader::Format::Pcap);
      const std::vector<CaptureRecord> records = read_all(reader);
      EXPECT_EQ(reader.error(), "");
      ASSERT_EQ(records.size(), 2u);
      for (const CaptureRecord& r : records) expect_rtac_hi(r);
      EXPECT_EQ(reader.interfaces().at(0).link_type, capture::kLinkRtacSerial);
    }
  }
}

std::vector<std::uint8_t> cut(std::vector<std::uint8_t> file, std::size_t size) {
  file.resize(size);
  return file;
}

// The file with the 32-bit word at `at` replaced (little-endian).
std::vector<std::uint8_t> patched(std::vector<std::uint8_t> file, std::size_t at, std::uint32_t value) {
  capture::store(file.data() + at, 4, value, ByteOrder::Little);
  return file;
}

// Where each block of a little-endian pcapng file starts.
std::vector<std::size_t> block_starts(const std::vector<std::uint8_t>& file) {
  std::vector<std::size_t> starts;
  for (std::size_t at = 0; at + 8 <= file.size(); at += capture::load32(file.data() + at + 4, ByteOrder::Little))
    starts.push_back(at);
  return starts;
}

struct Damage {
  const char* name;
  std::vector<std::uint8_t> file;
  bool opens;
  std::size_t records;  // read before the damage
  std::string says;
};

TEST(CaptureReader, AFileThatIsNoCaptureOrIsDamagedGetsAMessageAndKeepsWhatCameBefore) {
  const std::vector<std::uint8_t> ng = pcapng_file(ByteOrder::Little, 6, kTimeNs / 1000, 0);
  const std::vector<std::uint8_t> pcap = pcap_file(ByteOrder::Little, false);
  // The section header, an interface, a custom block, an interface, two packets, a simple packet.
  const std::vector<std::size_t> blocks = block_starts(ng);
  ASSERT_EQ(blocks.size(), 7u);
  const std::size_t first_interface = blocks[1];
  const std::size_t first_packet = blocks[4];
  const std::vector<Damage> cases = {
      {"empty", {}, false, 0, "x.cap is empty"},
      {"text", text("hello, this is a text file\n"), false, 0, "x.cap is not a capture file"},
      {"section header cut", cut(ng, 10), false, 0, "x.cap is cut short"},
      {"pcap header cut", cut(pcap, 10), false, 0, "x.cap is cut short in its pcap header"},
      {"pcapng version 2", patched(ng, 12, 2), false, 0, "pcapng version 2"},
      {"last pcapng packet cut", cut(ng, ng.size() - 5), true, 2, "x.cap is cut short at byte"},
      {"last pcap record cut", cut(pcap, pcap.size() - 1), true, 1, "x.cap is cut short at byte"},
      {"a block of 2 GB", patched(ng, first_interface + 4, 0x7FFFFFF0), true, 0,
       "x.cap is damaged at byte " + std::to_string(first_interface)},
      {"lengths that differ", patched(ng, ng.size() - 4, 44), true, 2, "two lengths differ"},
      {"an interface never described", patched(ng, first_packet + 8, 7), true, 0, "never described"},
      {"a packet longer than its block", patched(ng, first_packet + 20, 1000), true, 0, "longer than its block"},
  };
  for (const Damage& c : cases) {
    SCOPED_TRACE(c.name);
    CaptureReader reader;
    ASSERT_EQ(reader.open_bytes(c.file, "x.cap"), c.opens) << reader.error();
    const std::vector<CaptureRecord> records = read_all(reader);
    EXPECT_EQ(records.size(), c.records);
    EXPECT_NE(reader.error().find(c.says), std::string::npos) << reader.error();
    if (c.records > 0) expect_rtac_hi(records[0]);
    EXPECT_FALSE(reader.next());
  }
}

TEST(CaptureReader, AMissingFileOrAFolderIsNamedWithTheReason) {
  CaptureReader reader;
  EXPECT_FALSE(reader.open("/nonexistent/quillport.pcapng"));
  EXPECT_EQ(reader.error(), "/nonexistent/quillport.pcapng: No such file or directory");
  EXPECT_FALSE(reader.open("/tmp"));
  EXPECT_EQ(reader.error(), "/tmp is a folder, not a capture file");
}

}  // namespace
