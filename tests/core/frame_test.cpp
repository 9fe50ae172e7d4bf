// CheckSum and Add Frame on the message field: the box texts of every check type, the frames of every
// layout, and the refusal of texts and frames too long for the field.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "core/hex.h"
#include "core/hex_checksum.h"
#include "core/hex_frame.h"
#include "core/hex_message.h"
#include "core/resource.h"
#include "protocol/hdlc.h"
#include "tests/core/core_fixture.h"

using testing::ElementsAre;
using testsupport::CoreTest;

namespace {

using Octets = std::vector<std::uint8_t>;

class FrameTest : public CoreTest {
 protected:
  FrameTest() { hex_init(host); }

  std::string checksum(const std::string& message, int check) {
    host.set_text(IDC_MSG, message);
    host.select_entry(IDC_SUM, check);
    hex_checksum(host);
    return boxes().empty() ? "(no box)" : boxes().back();
  }
  // Add Frame with the field holding `message`; the field's text after it.
  std::string frame(const std::string& message, int frame_type, int check) {
    host.set_text(IDC_MSG, message);
    host.select_entry(IDC_FRAME, frame_type);
    host.select_entry(IDC_SUM, check);
    hex_frameit(host);
    return host.text(IDC_MSG);
  }
  Octets field_octets() {
    std::vector<char> data(HEX_MAX_STRING);
    const int n = hex_hexstr_to_bin(host.text(IDC_MSG).c_str(), data.data());
    return Octets(data.begin(), data.begin() + n);
  }
};

TEST_F(FrameTest, CheckSumShowsEveryCheckOfTheMessage) {
  const std::string digits = "31 32 33 34 35 36 37 38 39";
  const struct {
    std::string message;
    int check;
    std::string box;
  } rows[] = {
      {digits, HEX_CRC16, "CRC 16 (ITU) = 6F91, != 906E"}, {digits, HEX_CRC32, "CRC 32 = 2DFD2D88, != D202D277"},
      {digits, HEX_SUM, "Arithmetic Checksum = DD"},       {digits, HEX_XOR, "Modulo 2 XOR Checksum = 31"},
      {"61 62 63", HEX_CRC16, "CRC 16 (ITU) = 61DA, != 9E25"},
      {"61 62 63", HEX_CRC32, "CRC 32 = CA6598D0, != 359A672F"},
      {"61 62 63", HEX_SUM, "Arithmetic Checksum = 26"},   {"61 62 63", HEX_XOR, "Modulo 2 XOR Checksum = 60"},
      {"", HEX_CRC16, "CRC 16 (ITU) = 0000, != FFFF"},     {"", HEX_CRC32, "CRC 32 = 00000000, != FFFFFFFF"},
      {"", HEX_SUM, "Arithmetic Checksum = 00"},           {"", HEX_XOR, "Modulo 2 XOR Checksum = 00"},
      {"FF FF", HEX_SUM, "Arithmetic Checksum = FE"},      {"FF FF", HEX_XOR, "Modulo 2 XOR Checksum = 00"},
      {"01 02", -1, "No check type selected"},
  };
  for (const auto& row : rows)
    EXPECT_EQ(checksum(row.message, row.check), "Quillport: " + row.box) << row.message << " / " << row.check;
  EXPECT_EQ(boxes().size(), std::size(rows));
  EXPECT_EQ(host.text(IDC_MSG), "01 02");  // CheckSum changes nothing
  EXPECT_EQ(host.entry_count(IDC_MSG), 1);
}

TEST_F(FrameTest, AddFrameBuildsEveryLayout) {
  const int none = -1;  // no check type selected
  const struct {
    int frame;
    int check;
    std::string message;
    std::string field;
  } rows[] = {
      {HEX_HDLC, HEX_CRC16, "01 02", " 7E 01 02 8D 35 7E"},
      {HEX_HDLC, HEX_CRC32, "01 02", " 7E 01 02 92 4F D5 11 FC FE"},
      {HEX_HDLC, HEX_XOR, "7E", " 7E BE 7C F9 FD"},
      {HEX_HDLC, HEX_SUM, "1F", " 7E 1F 3E F8 FD"},
      {HEX_HDLC, HEX_CRC16, "", " 7E DF F7 F5 FB"},
      {HEX_PPP, HEX_CRC16, "01 02", " 7E 7D 21 7D 22 8D 35 7E"},
      {HEX_PPP, HEX_CRC32, "01 02", " 7E 7D 21 7D 22 92 AF EA 7D 28 7E"},
      {HEX_PPP, HEX_XOR, "7E", " 7E 7D 5E 7D 5E 7E"},
      {HEX_PPP, HEX_XOR, "41 80", " 7E 41 80 C1 7E"},
      {HEX_ICNI, HEX_XOR, "05 00 AA BB", " EE 05 02 AA BB 16"},
      {HEX_ICNI, HEX_XOR, "05 09 AA BB", " EE 05 02 AA BB 16"},
      {HEX_ICNI, HEX_XOR, "05", " EE 05 05"},
      {HEX_ICNI, HEX_XOR, "", " EE 00"},
      {HEX_ICNI, HEX_CRC16, "05 00 AA BB", " EE 05 02 AA BB E6 7E"},
      {HEX_NO_FRAME, HEX_CRC16, "01 02", "01 02"},
      {HEX_HDLC, none, "01 02", " 7E 01 02 7E"},
      {HEX_PPP, none, "01 02", " 7E 7D 21 7D 22 7E"},
      {HEX_ICNI, none, "05 09 AA", " EE 05 01 AA"},
  };
  for (const auto& row : rows)
    EXPECT_EQ(frame(row.message, row.frame, row.check), row.field)
        << row.message << " / " << row.frame << " / " << row.check;
  // Every text Add Frame left in the field entered the list (the last ones replacing the tenth item).
  EXPECT_EQ(host.entry_text(IDC_MSG, 9), " EE 05 01 AA");
  EXPECT_TRUE(boxes().empty());
}

TEST_F(FrameTest, AddFrameTwiceWrapsTheFirstFrameInASecond) {
  frame("01 02", HEX_HDLC, HEX_CRC16);
  frame(host.text(IDC_MSG), HEX_HDLC, HEX_CRC16);
  std::array<std::uint8_t, 64> buffer{};
  protocol::FrameCollector collector{buffer, 0};
  protocol::HdlcReceiver bits;
  std::vector<Octets> frames;
  protocol::hdlc_decode(field_octets(), bits, collector, [&](auto f) { frames.emplace_back(f.begin(), f.end()); });
  // The first frame's six octets, then the second frame's own two check octets.
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(Octets(frames[0].begin(), frames[0].end() - 2), (Octets{0x7E, 0x7E, 0x01, 0x02, 0x8D, 0x35, 0x7E}));
}

TEST_F(FrameTest, TextsAndFramesTooLongForTheFieldAreRefusedWithTheFieldKept) {
  const auto pairs = [](int count) {
    std::string text;
    for (int i = 0; i < count; ++i) text += " 41";
    return text;
  };
  // ICNI with XOR: start octet, message, check; 2303 octets are 6909 characters, 2304 too many.
  EXPECT_EQ(frame(pairs(2301), HEX_ICNI, HEX_XOR).size(), 3u * 2303);
  const std::string longer = pairs(2302);
  EXPECT_EQ(frame(longer, HEX_ICNI, HEX_XOR), longer);
  EXPECT_EQ(host.entry_count(IDC_MSG), 2);  // the built frame entered the list, the refused one not
  // A text longer than the 6911 characters read is refused whole by every command, never cut.
  const std::string too_long = pairs(2304);
  EXPECT_EQ(frame(too_long, HEX_HDLC, HEX_XOR), too_long);
  hex_checksum(host);
  hex_send_msg(host);
  const std::string refused = "Quillport: Message too long: 6912 characters, at most 6911";
  EXPECT_THAT(boxes(),
              ElementsAre("Quillport: Frame too long to send: 2304 octets", refused, refused, refused));
  EXPECT_EQ(host.text(IDT_SCREEN), "");
}

}  // namespace
