#include "views/frame_views.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <span>
#include <vector>

#include "core/hex.h"
#include "core/hex_display.h"
#include "protocol/hex_pairs.h"
#include "protocol/hdlc.h"
#include "protocol/icni.h"
#include "protocol/ppp.h"

using platform::DialogHost;
using Octets = std::span<const std::uint8_t>;

namespace {

// "\nRx1 65535 ": the header is always this long, the time stamp being five places at most.
constexpr int kHeaderLength = 11;
// Octets one line of a HEX_MAX_STRING + 1 character buffer holds: header, 3 an octet, the NUL.
constexpr std::size_t kLineOctets = (HEX_MAX_STRING + 1 - kHeaderLength - 1) / 3;

// The decoders' state and their lines belong to the send port.
int send_port() { return hex_send_port == 1 ? 1 : 0; }
HEX_OBJ_TYP& send_record() { return hex_obj[send_port()]; }

protocol::FrameCollector collection(HEX_OBJ_TYP& obj) {
  return {{reinterpret_cast<std::uint8_t*>(obj.msg), HEX_MAX_STRING}, obj.msgindex};
}

// The caller may pass one buffer as input and text, so the input is taken aside before any frame
// line is written. The buffer keeps its size between calls: a pump's block costs no allocation.
Octets take_input(const char* raw, int length) {
  static std::vector<std::uint8_t> input;
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(raw);
  input.assign(bytes, bytes + std::max(length, 0));
  return input;
}

void show_frame(DialogHost& hwnd, char* text, Octets frame) {
  char header[32];
  std::snprintf(header, sizeof header, "\nRx%d %5d ", send_port() + 1, hex_time_stamp);
  do {
    const Octets line = frame.first(std::min(frame.size(), kLineOctets));
    std::copy_n(header, kHeaderLength, text);
    const std::size_t written =
        protocol::render_hex_pairs(line, std::span<char>(text + kHeaderLength, 3 * line.size()));
    text[kHeaderLength + written] = '\0';
    hex_display_msg(hwnd, send_port(), text, static_cast<int>(3 * line.size() + 1));
    frame = frame.subspan(line.size());
  } while (!frame.empty());
}

}  // namespace

int hex_parse_hdlc(DialogHost& hwnd, const char* raw, char* msg, int length) {
  const Octets input = take_input(raw, length);
  HEX_OBJ_TYP& obj = send_record();
  protocol::FrameCollector frame = collection(obj);
  protocol::HdlcReceiver bits{obj.bitcnt, obj.byte, obj.onecnt};
  protocol::hdlc_decode(input, bits, frame, [&](Octets f) { show_frame(hwnd, msg, f); });
  obj.msgindex = frame.count;
  obj.bitcnt = bits.bitcnt;
  obj.byte = bits.byte;
  obj.onecnt = bits.onecnt;
  return 0;
}

int hex_parse_ppp(DialogHost& hwnd, const char* raw, char* msg, int length) {
  static std::array<std::uint8_t, HEX_MAX_STRING> unescaped;
  const Octets input = take_input(raw, length);
  HEX_OBJ_TYP& obj = send_record();
  protocol::FrameCollector frame = collection(obj);
  protocol::ppp_decode(input, frame, unescaped, [&](Octets f) { show_frame(hwnd, msg, f); });
  obj.msgindex = frame.count;
  return 0;
}

int hex_parse_icni(DialogHost& hwnd, const char* raw, char* msg, int length) {
  const Octets input = take_input(raw, length);
  HEX_OBJ_TYP& obj = send_record();
  protocol::FrameCollector frame = collection(obj);
  protocol::icni_decode(input, frame, obj.msglength, [&](Octets f) { show_frame(hwnd, msg, f); });
  obj.msgindex = frame.count;
  return 0;
}
