// The view selector and the renderer of each view.
#include "views/view_switch.h"

#include <algorithm>

#include "core/hex.h"
#include "core/hex_display.h"
#include "core/resource.h"
#include "protocol/hex_pairs.h"
#include "views/ansi_parser.h"
#include "views/frame_views.h"
#include "views/terminal_view.h"

using platform::DialogHost;

namespace {

using Bytes = std::span<const std::uint8_t>;

void show_hexadecimal(DialogHost& hwnd, int port, Bytes bytes, ReceiveText& text) {
  const std::size_t length = protocol::render_hex_pairs(bytes, text);
  text[length] = '\0';
  hex_display_msg(hwnd, port, text.data(), static_cast<int>(length));
}

// A NUL is no text: it is dropped, and the bytes after it in the block are still shown.
void show_ascii(DialogHost& hwnd, int port, Bytes bytes, ReceiveText& text) {
  const auto end = std::remove_copy(bytes.begin(), bytes.end(), text.begin(), std::uint8_t{0});
  *end = '\0';
  hex_display_msg(hwnd, port, text.data(), static_cast<int>(end - text.begin()));
}

void show_ansi(DialogHost& hwnd, int port, Bytes bytes, ReceiveText& text) {
  const int length = hex_parse_ansi(hwnd, reinterpret_cast<const char*>(bytes.data()), text.data(),
                                    static_cast<int>(bytes.size()));
  hex_display_msg(hwnd, port, text.data(), length);
}

// The decoders show their frames themselves, in the send port's colour.
void show_hdlc(DialogHost& hwnd, int, Bytes bytes, ReceiveText& text) { hex_show_hdlc(hwnd, bytes, text); }
void show_ppp(DialogHost& hwnd, int, Bytes bytes, ReceiveText& text) { hex_show_ppp(hwnd, bytes, text); }
void show_icni(DialogHost& hwnd, int, Bytes bytes, ReceiveText& text) { hex_show_icni(hwnd, bytes, text); }

// The terminal is the send port's; the other port's bytes go on into the trace behind it.
void show_terminal(DialogHost& hwnd, int port, Bytes bytes, ReceiveText& text) {
  if (port == hex_send_port)
    hex_show_terminal(hwnd, port, bytes);
  else
    show_hexadecimal(hwnd, port, bytes, text);
}

struct View {
  int ascii;       // hex_ascii: 1 when typed messages are text, 0 when hexadecimal pairs
  int local_echo;  // hex_local_echo and the Local Echo box; a terminal's far end echoes instead
  bool joins;      // hex_view_joins_blocks
  void (*show)(DialogHost& hwnd, int port, Bytes bytes, ReceiveText& text);
};

// In the order of the View selector and of the view codes.
constexpr View kViews[HEX_VIEW_MAX] = {
    {0, 1, true, show_hexadecimal},  // HEX_HEX_VIEW
    {1, 1, true, show_ascii},        // HEX_ASCII_VIEW
    {1, 0, false, show_ansi},        // HEX_ANSI_VIEW
    {0, 1, false, show_hdlc},        // HEX_HDLC_VIEW
    {0, 1, false, show_ppp},         // HEX_PPP_VIEW
    {0, 1, false, show_icni},        // HEX_ICNI_VIEW
    {1, 0, true, show_terminal},     // HEX_TERMINAL_VIEW: the emulator takes a stream
};

}  // namespace

void hex_ViewSelChange(DialogHost& hwnd) {
  const int view = hwnd.selected_entry(IDC_VIEW);
  if (view >= 0 && view < HEX_VIEW_MAX) {
    hex_view_mode = view;
    hex_ascii = kViews[view].ascii;
    hex_local_echo = kViews[view].local_echo;
    hwnd.set_check(IDC_ECHO, hex_local_echo ? platform::Check::Checked : platform::Check::Unchecked);
  }
  hex_terminal_follow_view(hwnd);
  hwnd.set_focus(IDT_SCREEN);
}

bool hex_view_joins_blocks() { return hex_view_mode >= 0 && hex_view_mode < HEX_VIEW_MAX && kViews[hex_view_mode].joins; }

void hex_show_block(DialogHost& hwnd, int port, Bytes bytes, ReceiveText& text) {
  if (hex_view_mode < 0 || hex_view_mode >= HEX_VIEW_MAX) return;
  const View& view = kViews[hex_view_mode];
  while (!bytes.empty()) {
    const Bytes piece = bytes.first(std::min<std::size_t>(bytes.size(), HEX_QUEUE_SIZE));
    view.show(hwnd, port, piece, text);
    bytes = bytes.subspan(piece.size());
  }
}
