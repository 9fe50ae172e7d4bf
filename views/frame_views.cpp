#include "views/frame_views.h"

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

#include "core/hex.h"
#include "core/hex_display.h"
#include "core/line_record.h"
#include "protocol/hdlc.h"
#include "protocol/hex_pairs.h"
#include "protocol/icni.h"
#include "protocol/ppp.h"

using platform::DialogHost;
using Octets = std::span<const std::uint8_t>;
using Text = std::span<char>;

namespace {

// "\nRx1 65535 ": the header is always this long, the time stamp being five places at most.
constexpr std::size_t kHeaderLength = 11;

// The decoders' state and their lines belong to the send port.
int send_port() { return hex_send_port == 1 ? 1 : 0; }
HEX_OBJ_TYP& send_record() { return hex_obj[send_port()]; }

std::span<std::uint8_t> collection_octets(HEX_OBJ_TYP& obj) {
  return {reinterpret_cast<std::uint8_t*>(obj.msg), HEX_MAX_STRING};
}

protocol::FrameCollector collection(HEX_OBJ_TYP& obj) { return {collection_octets(obj), obj.msgindex}; }

// Octets one line of `text` holds: header, three characters an octet, the NUL.
std::size_t line_octets(Text text) { return (text.size() - kHeaderLength - 1) / 3; }

// A frame found is also recorded, when a capture runs, as the view shows it: under the send port.
void show_frame(DialogHost& hwnd, Text text, Octets frame, capture::FrameKind kind) {
  hex_record_frame(kind, send_port(), frame);
  char header[32];
  std::snprintf(header, sizeof header, "\nRx%d %5d ", send_port() + 1, hex_time_stamp);
  do {
    const Octets line = frame.first(std::min(frame.size(), line_octets(text)));
    std::copy_n(header, kHeaderLength, text.begin());
    const std::size_t length = kHeaderLength + protocol::render_hex_pairs(line, text.subspan(kHeaderLength));
    text[length] = '\0';
    hex_display_msg(hwnd, send_port(), text.data(), static_cast<int>(length));
    frame = frame.subspan(line.size());
  } while (!frame.empty());
}

// The classic entry: the bytes are taken aside first when the text buffer is the input's own.
template <class Show>
int classic_entry(DialogHost& hwnd, const char* raw, char* msg, int length, Show show) {
  const Octets bytes(reinterpret_cast<const std::uint8_t*>(raw), static_cast<std::size_t>(std::max(length, 0)));
  const Text text(msg, HEX_MAX_STRING + 1);
  const std::less<const void*> before;
  const bool overlap = before(raw, msg + text.size()) && before(msg, raw + bytes.size());
  if (!overlap) {
    show(hwnd, bytes, text);
    return 0;
  }
  const std::vector<std::uint8_t> copy(bytes.begin(), bytes.end());
  show(hwnd, Octets(copy), text);
  return 0;
}

}  // namespace

void hex_show_hdlc(DialogHost& hwnd, Octets bytes, Text text) {
  HEX_OBJ_TYP& obj = send_record();
  protocol::FrameCollector frame = collection(obj);
  protocol::HdlcReceiver bits{obj.bitcnt, obj.byte, obj.onecnt};
  protocol::hdlc_decode(bytes, bits, frame, [&](Octets f) { show_frame(hwnd, text, f, capture::FrameKind::Hdlc); });
  obj.msgindex = frame.count;
  obj.bitcnt = bits.bitcnt;
  obj.byte = bits.byte;
  obj.onecnt = bits.onecnt;
}

void hex_show_ppp(DialogHost& hwnd, Octets bytes, Text text) {
  HEX_OBJ_TYP& obj = send_record();
  protocol::FrameCollector frame = collection(obj);
  protocol::ppp_decode(bytes, frame, collection_octets(obj),
                       [&](Octets f) { show_frame(hwnd, text, f, capture::FrameKind::Ppp); });
  obj.msgindex = frame.count;
}

void hex_show_icni(DialogHost& hwnd, Octets bytes, Text text) {
  HEX_OBJ_TYP& obj = send_record();
  protocol::FrameCollector frame = collection(obj);
  protocol::icni_decode(bytes, frame, obj.msglength,
                        [&](Octets f) { show_frame(hwnd, text, f, capture::FrameKind::Icni); });
  obj.msgindex = frame.count;
}

int hex_parse_hdlc(DialogHost& hwnd, const char* raw, char* msg, int length) {
  return classic_entry(hwnd, raw, msg, length, hex_show_hdlc);
}

int hex_parse_ppp(DialogHost& hwnd, const char* raw, char* msg, int length) {
  return classic_entry(hwnd, raw, msg, length, hex_show_ppp);
}

int hex_parse_icni(DialogHost& hwnd, const char* raw, char* msg, int length) {
  return classic_entry(hwnd, raw, msg, length, hex_show_icni);
}
