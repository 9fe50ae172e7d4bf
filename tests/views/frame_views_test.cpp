// The HDLC, PPP and ICNI views on the real display: frame lines, state kept in the send port's
// record across reads, ports and view switches, real frames as a PPP peer sends them, and frames too
// long for one line.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include <unistd.h>

#include "core/hex.h"
#include "core/hex_display.h"
#include "core/hex_log.h"
#include "core/resource.h"
#include "tests/core/core_fixture.h"
#include "views/ansi_terminal.h"
#include "views/frame_views.h"
#include "views/view_switch.h"

namespace {

using Octets = std::vector<std::uint8_t>;
using testsupport::CoreTest;

// "\nRx<port + 1> <stamp> " and " %02X" per octet.
std::string frame_line(int port, int stamp, const Octets& octets) {
  char header[32];
  std::snprintf(header, sizeof header, "\nRx%d %5d ", port + 1, stamp);
  std::string line = header;
  for (const std::uint8_t octet : octets) {
    char pair[4];
    std::snprintf(pair, sizeof pair, " %02X", octet);
    line += pair;
  }
  return line;
}

Octets operator+(Octets a, const Octets& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// The bit stream of `octets` (least significant bit first) behind `zeros` 0 bits, the last octet
// filled up with idle 1s.
Octets behind_zeros(const Octets& octets, int zeros) {
  Octets out(octets.size() + 1, 0);
  for (std::size_t i = 0; i < octets.size(); ++i) {
    out[i] = static_cast<std::uint8_t>(out[i] | octets[i] << zeros);
    out[i + 1] = static_cast<std::uint8_t>(octets[i] >> (8 - zeros));
  }
  out.back() = static_cast<std::uint8_t>(out.back() | (0xFF << zeros));
  return out;
}

// A PPP LCP Configure-Request as pppd sends it first: address FF, control 03, protocol C0 21, code 1,
// id 1, length 20; options async map 0, magic number 5E7D120B, protocol and address-field
// compression; then the FCS-16 of RFC 1662, least significant octet first.
const Octets kLcpRequest = {0xFF, 0x03, 0xC0, 0x21, 0x01, 0x01, 0x00, 0x14, 0x02, 0x06, 0x00, 0x00, 0x00,
                            0x00, 0x05, 0x06, 0x5E, 0x7D, 0x12, 0x0B, 0x07, 0x02, 0x08, 0x02, 0xA2, 0x2D};
// On an asynchronous line: every control octet, 7D and 7E escaped.
const Octets kLcpRequestPpp = {
    0x7E, 0xFF, 0x7D, 0x23, 0xC0, 0x21, 0x7D, 0x21, 0x7D, 0x21, 0x7D, 0x20, 0x7D, 0x34, 0x7D, 0x22,
    0x7D, 0x26, 0x7D, 0x20, 0x7D, 0x20, 0x7D, 0x20, 0x7D, 0x20, 0x7D, 0x25, 0x7D, 0x26, 0x5E, 0x7D,
    0x5D, 0x7D, 0x32, 0x7D, 0x2B, 0x7D, 0x27, 0x7D, 0x22, 0x7D, 0x28, 0x7D, 0x22, 0xA2, 0x2D, 0x7E};
// On a synchronous line: flags, a 0 inserted after every five 1s, least significant bit first.
const Octets kLcpRequestHdlc = {0x7E, 0xDF, 0x07, 0x00, 0x87, 0x04, 0x04, 0x00, 0x50, 0x08,
                                0x18, 0x00, 0x00, 0x00, 0x00, 0x14, 0x18, 0x78, 0xF5, 0x91,
                                0x58, 0x38, 0x10, 0x40, 0x10, 0x10, 0x6D, 0xF1, 0xFB};

const Octets kIcniFrame = {0xEE, 0x05, 0x02, 0xAA, 0xBB, 0x16};

class FrameViewTest : public CoreTest {
 protected:
  FrameViewTest() { hex_init(host); }

  // What the pump does with one read of terminal port `port` in `view`.
  void receive(int view, const Octets& bytes, int port = 0) {
    hex_view_mode = view;
    hex_show_block(host, port, bytes, text_);
  }
  std::string shown() const { return host.text(IDT_SCREEN); }
  ReceiveText text_;
  // An empty display and the decoders' state as at start-up.
  void clear() {
    host.screen().set_text("");
    for (HEX_OBJ_TYP& obj : hex_obj) {
      obj.msgindex = 0;
      obj.msglength = 255;
      obj.bitcnt = 0;
      obj.byte = 0;
      obj.onecnt = 0;
    }
  }
};

TEST_F(FrameViewTest, EachFrameIsOneLineUnderTheSendPortAndTimeStamp) {
  const struct {
    const char* name;
    int view;
    Octets input;
    std::string shown;
    int collected_after;
  } cases[] = {
      {"ppp unescapes", HEX_PPP_VIEW, {0x7E, 0xFF, 0x7D, 0x23, 0xC0, 0x21, 0x7E}, "\nRx1    50  7E FF 03 C0 21", 1},
      {"ppp dangling escape", HEX_PPP_VIEW, {0x7E, 0x01, 0x7D, 0x7E}, "\nRx1    50  7E 01", 1},
      {"hdlc inserted zero", HEX_HDLC_VIEW, {0x7E, 0x1F, 0x00, 0xFC, 0xFE}, "\nRx1    50  7E 1F 00", 1},
      {"icni length 0", HEX_ICNI_VIEW, {0xEE, 0x05, 0x00, 0x16}, "\nRx1    50  EE 05 00 16", 0},
      {"icni restarted by EE",
       HEX_ICNI_VIEW,
       Octets{0xEE, 0x05, 0x02, 0xAA} + kIcniFrame,
       "\nRx1    50  EE 05 02 AA BB 16",
       0},
      {"icni two-octet check",
       HEX_ICNI_VIEW,
       {0xEE, 0x05, 0x02, 0xAA, 0xBB, 0xE6, 0x7E},
       "\nRx1    50  EE 05 02 AA BB E6",
       1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    clear();
    hex_time_stamp = 50;
    receive(c.view, c.input);
    EXPECT_EQ(shown(), c.shown);
    EXPECT_EQ(hex_obj[0].msgindex, c.collected_after);
  }
}

TEST_F(FrameViewTest, AFrameSplitBetweenReadsShowsAsInOneRead) {
  struct Stream {
    const char* name;
    int view;
    Octets bytes;
    Octets frame;
  };
  std::vector<Stream> streams = {
      {"ppp", HEX_PPP_VIEW, kLcpRequestPpp, Octets{0x7E} + kLcpRequest},
      {"icni", HEX_ICNI_VIEW, kIcniFrame, kIcniFrame},
  };
  // HDLC is a bit stream: zero bits ahead of it move the octet boundaries, so the reads split the
  // frame at every bit position, also right after a 1.
  for (int zeros = 0; zeros < 8; ++zeros)
    streams.push_back({"hdlc", HEX_HDLC_VIEW, behind_zeros(kLcpRequestHdlc, zeros), Octets{0x7E} + kLcpRequest});
  for (const Stream& stream : streams) {
    for (std::size_t split = 0; split <= stream.bytes.size(); ++split) {
      SCOPED_TRACE(std::string(stream.name) + " split at " + std::to_string(split));
      clear();
      receive(stream.view, Octets(stream.bytes.begin(), stream.bytes.begin() + static_cast<long>(split)));
      receive(stream.view, Octets(stream.bytes.begin() + static_cast<long>(split), stream.bytes.end()));
      EXPECT_EQ(shown(), frame_line(0, 0, stream.frame));
    }
  }
}

TEST_F(FrameViewTest, IcniFramesEndByTheirLengthOctet) {
  Octets frame = {0xEE, 0x05, 0xC8};  // L = 200: complete after 204 octets
  frame.resize(203, 0x11);
  receive(HEX_ICNI_VIEW, frame);
  EXPECT_EQ(shown(), "");
  receive(HEX_ICNI_VIEW, {0x99});
  frame.push_back(0x99);
  EXPECT_EQ(shown(), frame_line(0, 0, frame));

  // After a shown frame what follows is collected on its own until an EE, and 259 octets of it are
  // shown as one frame: the frame before is not shown again.
  clear();
  receive(HEX_ICNI_VIEW, kIcniFrame);
  receive(HEX_ICNI_VIEW, Octets(258, 0x22));
  EXPECT_EQ(shown(), frame_line(0, 0, kIcniFrame));
  receive(HEX_ICNI_VIEW, {0x22});
  EXPECT_EQ(shown(), frame_line(0, 0, kIcniFrame) + frame_line(0, 0, Octets(259, 0x22)));
}

TEST_F(FrameViewTest, AFrameShownOnceIsNeverShownAgainAfterAViewSwitch) {
  const Octets icni = {0xEE, 0x01, 0x02, 0x03, 0x04, 0x04};
  for (const int view : {HEX_PPP_VIEW, HEX_HDLC_VIEW}) {
    SCOPED_TRACE(view);
    clear();
    receive(HEX_ICNI_VIEW, icni);
    host.select_entry(IDC_VIEW, view);
    hex_ViewSelChange(host);
    receive(view, {0x7E, 0x41, 0x7E});
    EXPECT_EQ(shown(), frame_line(0, 0, icni) + frame_line(0, 0, {0x7E, 0x41}));
  }
}

TEST_F(FrameViewTest, ABlockLongerThanAReadIsShownWholeInEveryTextView) {
  std::string bytes(HEX_QUEUE_SIZE + 500, 'a');
  bytes[10] = '\0';
  const Octets block(bytes.begin(), bytes.end());
  receive(HEX_HEX_VIEW, block);
  EXPECT_EQ(shown(), testsupport::hex_text(bytes));
  clear();
  receive(HEX_ASCII_VIEW, block);
  EXPECT_EQ(shown(), std::string(HEX_QUEUE_SIZE + 499, 'a'));
}

TEST_F(FrameViewTest, BothPortsOfOneTickGoThroughTheSendPortsOneState) {
  hex_send_port = 1;
  hex_time_stamp = 100;
  receive(HEX_PPP_VIEW, {0x7E, 0x41}, 0);
  receive(HEX_PPP_VIEW, {0x42, 0x7E}, 1);
  EXPECT_EQ(shown(), "\nRx2   100  7E 41 42");
  EXPECT_EQ(testsupport::colour_at(host.screen(), 1), hex_colour[1].rx);
  EXPECT_EQ(hex_obj[1].msgindex, 1);
  EXPECT_EQ(hex_obj[0].msgindex, 0);
}

TEST_F(FrameViewTest, AViewSwitchContinuesTheHalfCollectedFrame) {
  receive(HEX_PPP_VIEW, {0x7E, 0x41, 0x42});
  host.select_entry(IDC_VIEW, HEX_HDLC_VIEW);
  hex_ViewSelChange(host);
  // 43 assembles as an octet, and the flag closes the frame that PPP began.
  receive(HEX_HDLC_VIEW, {0x43, 0x7E});
  EXPECT_EQ(shown(), "\nRx1     0  7E 41 42 43");
}

TEST_F(FrameViewTest, ARealLcpRequestShowsItsOctetsOnBothKindsOfLine) {
  receive(HEX_PPP_VIEW, kLcpRequestPpp);
  receive(HEX_HDLC_VIEW, kLcpRequestHdlc);
  const std::string line = frame_line(0, 0, Octets{0x7E} + kLcpRequest);
  EXPECT_EQ(shown(), line + line);
}

TEST_F(FrameViewTest, AFrameTooLongForOneLineIsShownWholeOverSeveralLines) {
  const std::filesystem::path log =
      std::filesystem::temp_directory_path() / ("quillport-frames-" + std::to_string(getpid()) + ".htm");
  host.queue_file_answer(log.string());
  hex_log_open(host);

  // 7000 octets arrive; a frame keeps 6912, shown as lines of 2300, 2300, 2300 and 12 octets.
  Octets stream = {0x7E};
  stream.resize(7001, 0x41);
  stream.push_back(0x7E);
  const Octets raw(stream.begin(), stream.end());
  std::vector<char> text(HEX_MAX_STRING + 1);  // exactly the size the decoders may fill
  hex_view_mode = HEX_PPP_VIEW;
  hex_parse_ppp(host, reinterpret_cast<const char*>(raw.data()), text.data(), static_cast<int>(raw.size()));
  hex_log_close(host);

  Octets first = {0x7E};
  first.resize(2300, 0x41);
  const std::string expected = frame_line(0, 0, first) + frame_line(0, 0, Octets(2300, 0x41)) +
                               frame_line(0, 0, Octets(2300, 0x41)) + frame_line(0, 0, Octets(12, 0x41));
  EXPECT_EQ(shown(), expected);
  // The log holds the same lines, each whole.
  EXPECT_THAT(testsupport::read_file(log), testing::HasSubstr(frame_line(0, 0, Octets(12, 0x41)) + "</font>"));
  std::filesystem::remove(log);
}

}  // namespace
