// A recorded session, written by the capture writer, read back by Wireshark's own tshark and
// capinfos (with tools/wireshark/quillport.lua for the HDLC and ICNI interfaces).
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "capture/capture_writer.h"
#include "tests/capture/programs.h"

namespace {

using capture::Direction;
using capture::FrameKind;
using capturetest::Scratch;

constexpr std::int64_t kStart = 1'700'000'000'000'000;  // µs since 1970

// One thing handed to the writer, and what tshark should then show for it.
struct Entry {
  enum Kind { Line, Frame, Comment } kind;
  int port;
  Direction direction;
  std::int64_t time_us;
  std::string hex;   // the bytes, as tshark prints them; the text for a comment
  FrameKind frame = FrameKind::Ppp;
};

std::vector<std::uint8_t> bytes_of(const std::string& hex) {
  std::vector<std::uint8_t> bytes;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) bytes.push_back(static_cast<std::uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  return bytes;
}

// Both ports: a modem's AT/OK, a PPP LCP Configure-Request and its Ack (the line's bytes, and
// the frames the PPP view found), an HDLC frame, an ICNI frame, and comments.
const std::vector<Entry> kSession = {
    {Entry::Comment, 0, Direction::Unknown, kStart, "Port A set to 9600 8N1, no flow control"},
    {Entry::Line, 0, Direction::Sent, kStart + 1000, "41540d0a"},
    {Entry::Line, 1, Direction::Received, kStart + 1500, "41540d0a"},
    {Entry::Line, 1, Direction::Sent, kStart + 3000, "4f4b0d0a"},
    {Entry::Line, 0, Direction::Received, kStart + 3450, "4f4b0d0a"},
    {Entry::Line, 0, Direction::Sent, kStart + 10000,
     "7eff7d23c0217d217d217d207d2a7d257d267d3234567879007d207e"},
    {Entry::Line, 1, Direction::Received, kStart + 12000,
     "7eff7d23c0217d217d217d207d2a7d257d267d3234567879007d207e"},
    {Entry::Frame, 1, Direction::Received, kStart + 12000, "ff03c0210101000a0506123456787900", FrameKind::Ppp},
    {Entry::Line, 1, Direction::Sent, kStart + 15000, "7eff7d23c0217d227d217d207d2a7d257d267d323456787d30747e"},
    {Entry::Line, 0, Direction::Received, kStart + 17000, "7eff7d23c0217d227d217d207d2a7d257d267d323456787d30747e"},
    {Entry::Frame, 0, Direction::Received, kStart + 17000, "ff03c0210201000a0506123456781074", FrameKind::Ppp},
    {Entry::Line, 0, Direction::Received, kStart + 30000, "7e0310616263f391fcfe"},
    {Entry::Frame, 0, Direction::Received, kStart + 30000, "0310616263f349", FrameKind::Hdlc},
    {Entry::Line, 1, Direction::Received, kStart + 40000, "ee0502aabb16"},
    {Entry::Frame, 1, Direction::Received, kStart + 40000, "ee0502aabb16", FrameKind::Icni},
    {Entry::Comment, 0, Direction::Unknown, kStart + 50000, "XMODEM-1K send of firmware.bin started on Port A"},
};

void write_session(const std::string& path) {
  std::string error;
  const auto writer = capture::CaptureWriter::create(
      path, {{"Port A", "/dev/ttyUSB0", "9600 8N1, no flow control"}, {"Port B", "/dev/ttyUSB1", "115200 8N1, RTS/CTS"}},
      error);
  ASSERT_TRUE(writer) << error;
  for (const Entry& e : kSession) {
    const std::vector<std::uint8_t> bytes = e.kind == Entry::Comment ? std::vector<std::uint8_t>{} : bytes_of(e.hex);
    bool taken = false;
    if (e.kind == Entry::Line) taken = writer->block(e.port, {e.direction, e.time_us, bytes, capture::lines::kDtr});
    if (e.kind == Entry::Frame) taken = writer->frame(e.port, e.frame, e.direction, e.time_us, bytes);
    if (e.kind == Entry::Comment) taken = writer->comment(e.port, e.time_us, e.hex);
    EXPECT_TRUE(taken) << e.hex;
  }
  writer->stop();
  EXPECT_EQ(writer->status().error, "");
}

std::string interface_name(const Entry& e) {
  const std::string port = e.port == 0 ? "Port A" : "Port B";
  if (e.kind != Entry::Frame) return port;
  return port + " " + capture::frame_kind_name(e.frame);
}

std::string epoch_text(std::int64_t time_us) {
  char text[32];
  std::snprintf(text, sizeof text, "%lld.%06lld000", static_cast<long long>(time_us / 1'000'000),
                static_cast<long long>(time_us % 1'000'000));
  return text;
}

const std::vector<std::string> kFields = {
    "frame.interface_name", "frame.time_epoch", "rtacser.eventtype", "data.data", "frame.comment",
    "ppp.code",             "lcp.opt.magic_number", "frame.p2p_dir", "hdlcframe.fcs.good", "icni.check.good",
    "icni.length",          "_ws.malformed",
};

std::map<std::string, std::string> row_of(const std::string& line) {
  const std::vector<std::string> cells = capturetest::split(line, '\t');
  std::map<std::string, std::string> row;
  for (std::size_t i = 0; i < kFields.size() && i < cells.size(); ++i) row[kFields[i]] = cells[i];
  return row;
}

std::vector<std::string> tshark_fields(const std::string& path, const Scratch& scratch) {
  std::vector<std::string> argv = {"tshark", "-X", "lua_script:" QUILLPORT_LUA_DISSECTORS, "-r", path, "-T", "fields"};
  for (const std::string& field : kFields) argv.insert(argv.end(), {"-e", field});
  std::string out;
  EXPECT_EQ(capturetest::run(argv, {"HOME=" + scratch.path()}, scratch, out), 0);
  return capturetest::split_lines(out);
}

void expect_line_record(const Entry& e, std::map<std::string, std::string>& row) {
  const bool comment = e.kind == Entry::Comment;
  EXPECT_EQ(row["rtacser.eventtype"], comment ? "0x00" : e.direction == Direction::Sent ? "0x01" : "0x02");
  EXPECT_EQ(row["data.data"], comment ? "" : e.hex);
  EXPECT_EQ(row["frame.comment"], comment ? e.hex : "");
}

void expect_frame_record(const Entry& e, std::map<std::string, std::string>& row) {
  EXPECT_EQ(row["frame.p2p_dir"], "1");  // received
  if (e.frame == FrameKind::Ppp) {
    EXPECT_EQ(row["ppp.code"], e.hex.substr(8, 2) == "01" ? "1" : "2");  // Configure-Request, -Ack
    EXPECT_EQ(row["lcp.opt.magic_number"], "0x12345678");
  }
  if (e.frame == FrameKind::Hdlc) {
    EXPECT_EQ(row["hdlcframe.fcs.good"], "1");
  }
  if (e.frame == FrameKind::Icni) {
    EXPECT_EQ(row["icni.check.good"], "1");
    EXPECT_EQ(row["icni.length"], "2");
  }
}

TEST(CaptureInWireshark, TsharkReadsEveryRecordOfASessionAsItWasWritten) {
  Scratch scratch;
  const std::string path = scratch.file("session.pcapng");
  write_session(path);
  const std::vector<std::string> lines = tshark_fields(path, scratch);
  ASSERT_EQ(lines.size(), kSession.size());
  for (std::size_t i = 0; i < kSession.size(); ++i) {
    SCOPED_TRACE("record " + std::to_string(i + 1) + ": " + lines[i]);
    const Entry& e = kSession[i];
    std::map<std::string, std::string> row = row_of(lines[i]);
    EXPECT_EQ(row["frame.interface_name"], interface_name(e));
    EXPECT_EQ(row["frame.time_epoch"], epoch_text(e.time_us));
    EXPECT_EQ(row["_ws.malformed"], "");
    if (e.kind == Entry::Frame)
      expect_frame_record(e, row);
    else
      expect_line_record(e, row);
  }
}

TEST(CaptureInWireshark, CapinfosCountsThePacketsOfEachInterface) {
  Scratch scratch;
  const std::string path = scratch.file("session.pcapng");
  write_session(path);
  std::map<std::string, int> written;
  for (const Entry& e : kSession) ++written[interface_name(e)];

  std::string out;
  ASSERT_EQ(capturetest::run({"capinfos", "-M", "-c", "-I", path}, {"HOME=" + scratch.path()}, scratch, out), 0);
  EXPECT_NE(out.find("Number of packets:   " + std::to_string(kSession.size()) + "\n"), std::string::npos) << out;
  std::map<std::string, int> counted;
  std::string name;
  for (const std::string& line : capturetest::split_lines(out)) {
    if (const auto at = line.find("Name = "); at != std::string::npos) name = line.substr(at + 7);
    if (const auto at = line.find("Number of packets = "); at != std::string::npos) counted[name] = std::stoi(line.substr(at + 20));
  }
  EXPECT_EQ(counted, written) << out;
}

}  // namespace
