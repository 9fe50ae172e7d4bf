// The HDLC, PPP and ICNI views take any bytes, in blocks of any size, from either port: no frame line
// is written past the text buffer, every line on the display reads "\nRx<send port + 1> <time stamp> "
// and " %02X" groups of at most 2300 octets, and the octets shown are exactly those of the frames
// the bit-by-bit HDLC rules or the PPP and ICNI decoders find in the same bytes read at once.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

#include "core/dialog_template.h"
#include "core/hex.h"
#include "platform/headless_host.h"
#include "protocol/hdlc.h"
#include "protocol/icni.h"
#include "protocol/ppp.h"
#include "views/frame_views.h"

namespace {

using Octets = std::vector<std::uint8_t>;

void require(bool condition) {
  if (!condition) std::abort();
}

constexpr std::size_t kLineOctets = 2300;

// The frames of `stream` read in one go, flattened, and the number of lines they take.
struct Expected {
  Octets octets;
  std::size_t lines = 0;
};

Expected expected_frames(int view, std::span<const std::uint8_t> stream) {
  static std::array<std::uint8_t, HEX_MAX_STRING> buffer;
  static std::array<std::uint8_t, HEX_MAX_STRING> scratch;
  protocol::FrameCollector frame{buffer, 0};
  Expected expected;
  const auto keep = [&](std::span<const std::uint8_t> f) {
    expected.octets.insert(expected.octets.end(), f.begin(), f.end());
    expected.lines += (f.size() + kLineOctets - 1) / kLineOctets;
  };
  if (view == HEX_HDLC_VIEW) {
    protocol::HdlcReceiver bits;
    protocol::hdlc_decode_bitwise(stream, bits, frame, keep);
  } else if (view == HEX_PPP_VIEW) {
    protocol::ppp_decode(stream, frame, scratch, keep);
  } else {
    int length = protocol::kIcniLengthUnknown;
    protocol::icni_decode(stream, frame, length, keep);
  }
  return expected;
}

int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Reads the display's lines back into octets, checking the format of each.
Octets shown_octets(const std::string& text, const std::string& header, std::size_t& lines) {
  Octets octets;
  require(text.empty() || text.compare(0, header.size(), header) == 0);
  for (std::size_t at = 0; at < text.size();) {
    require(text.compare(at, header.size(), header) == 0);
    at += header.size();
    std::size_t groups = 0;
    for (; at < text.size() && text[at] != '\n'; at += 3, ++groups) {
      require(at + 3 <= text.size() && text[at] == ' ');
      const int high = hex_digit(text[at + 1]);
      const int low = hex_digit(text[at + 2]);
      require(high >= 0 && low >= 0);
      octets.push_back(static_cast<std::uint8_t>(high * 16 + low));
    }
    require(groups >= 1 && groups <= kLineOctets);
    ++lines;
  }
  return octets;
}

platform::HeadlessHost& host() {
  static platform::HeadlessHost* const made = new platform::HeadlessHost(quillport_dialog());
  return *made;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 3) return 0;
  // Byte 0: the view and the send port; byte 1: block sizes (1 to 256), byte 2: the time stamp's
  // high byte. The rest is the line's bytes, alternately from Port A and Port B.
  const int view = HEX_HDLC_VIEW + data[0] % 3;
  hex_send_port = (data[0] >> 2) & 1;
  const std::size_t block_size = 1 + data[1];
  hex_time_stamp = static_cast<std::uint16_t>(data[2] << 8 | data[2]);
  const std::span<const std::uint8_t> stream(data + 3, size - 3);

  platform::HeadlessHost& h = host();
  h.screen().set_text("");
  for (HEX_OBJ_TYP& obj : hex_obj) {
    obj.msgindex = 0;
    obj.msglength = protocol::kIcniLengthUnknown;
    obj.bitcnt = obj.onecnt = 0;
    obj.byte = 0;
  }
  hex_view_mode = view;
  using Parse = int (*)(platform::DialogHost&, const char*, char*, int);
  const Parse parse = view == HEX_HDLC_VIEW ? hex_parse_hdlc : view == HEX_PPP_VIEW ? hex_parse_ppp : hex_parse_icni;
  // The pump's one buffer for bytes and lines, exactly as large, so a write past it is caught.
  std::vector<char> block(HEX_MAX_STRING + 1);
  for (std::size_t at = 0; at < stream.size(); at += block_size) {
    const std::size_t count = std::min(block_size, stream.size() - at);
    std::copy_n(stream.begin() + static_cast<long>(at), count, block.begin());
    require(parse(h, block.data(), block.data(), static_cast<int>(count)) == 0);
  }

  char header[32];
  std::snprintf(header, sizeof header, "\nRx%d %5d ", hex_send_port + 1, hex_time_stamp);
  std::size_t lines = 0;
  const Octets shown = shown_octets(h.screen().text(0, h.screen().text_length()), header, lines);
  const Expected expected = expected_frames(view, stream);
  require(shown == expected.octets && lines == expected.lines);
  return 0;
}
