// Frames built by Add Frame and received by the frame views: for random messages every layout comes
// back as its start octet, the message and the check value.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "core/hex.h"
#include "core/hex_checksum.h"
#include "core/hex_frame.h"
#include "core/hex_message.h"
#include "core/resource.h"
#include "protocol/icni.h"
#include "tests/core/core_fixture.h"
#include "views/view_switch.h"

namespace {

using Octets = std::vector<std::uint8_t>;

Octets octets_of(const std::string& text) {
  std::vector<char> bytes(text.size() / 3 + 1);
  bytes.resize(static_cast<std::size_t>(hex_hexstr_to_bin(text.c_str(), bytes.data())));
  return Octets(bytes.begin(), bytes.end());
}

class FrameRoundTripTest : public testsupport::CoreTest {
 protected:
  FrameRoundTripTest() { hex_init(host); }

  // Add Frame on `text`, the frame's octets received by the view of its layout, and the octets of
  // the line the view shows (after its "\\nRx2 <stamp> " header).
  Octets round_trip(const std::string& text, int frame_type, int check) {
    host.set_text(IDC_MSG, text);
    host.select_entry(IDC_FRAME, frame_type);
    host.select_entry(IDC_SUM, check);
    hex_frameit(host);
    const Octets frame = octets_of(host.text(IDC_MSG));
    // An empty display and the decoders' state as at start-up: each frame is received alone.
    host.screen().set_text("");
    for (HEX_OBJ_TYP& obj : hex_obj) {
      obj.msgindex = obj.bitcnt = obj.onecnt = 0;
      obj.byte = 0;
      obj.msglength = 255;
    }
    hex_view_mode = frame_type == HEX_HDLC ? HEX_HDLC_VIEW : frame_type == HEX_PPP ? HEX_PPP_VIEW : HEX_ICNI_VIEW;
    ReceiveText lines;
    hex_show_block(host, 1, frame, lines);
    const std::string line = host.text(IDT_SCREEN);
    return line.size() < 11 ? Octets{} : octets_of(line.substr(11));
  }
};

TEST_F(FrameRoundTripTest, RandomMessagesComeBackWithTheirCheckValue) {
  std::mt19937 random(20240610);
  for (int round = 0; round < 300; ++round) {
    const int frame_type = HEX_HDLC + round % 3;
    // The ICNI view counts one check octet and starts anew at every EE.
    const bool icni = frame_type == HEX_ICNI;
    const int check = static_cast<int>(icni ? HEX_SUM + random() % 2 : random() % 4);
    Octets message(icni ? 2 + random() % 60 : 1 + random() % 60);
    std::string text;
    for (auto& octet : message) {
      octet = static_cast<std::uint8_t>(random() % 3 == 0 ? 0x7E : random() % (icni ? 0xEE : 0x100));
      char pair[4];
      text.append(pair, std::snprintf(pair, sizeof pair, " %02X", octet));
    }
    if (icni) protocol::icni_set_length(message);
    Octets expected{icni ? std::uint8_t{0xEE} : std::uint8_t{0x7E}};
    expected.insert(expected.end(), message.begin(), message.end());
    std::array<std::uint8_t, HEX_CHECK_MAX> value{};
    expected.insert(expected.end(), value.begin(), value.begin() + hex_check_value(check, message, value));

    EXPECT_EQ(round_trip(text, frame_type, check), expected) << "round " << round;
  }
}

}  // namespace
