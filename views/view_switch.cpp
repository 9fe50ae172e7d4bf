// The view selector and the renderer of each view.
#include "views/view_switch.h"

#include <algorithm>

#include "core/hex.h"
#include "core/hex_display.h"
#include "core/resource.h"
#include "views/ansi_parser.h"
#include "views/ansi_terminal.h"
#include "views/frame_views.h"

using platform::DialogHost;

namespace {

void show_hexadecimal(DialogHost& hwnd, int port, char* block, int count) {
  hex_display_msg(hwnd, port, block, hex_to_hexstr(block, block, count));
}

// A NUL is no text: it is dropped, and the bytes after it in the block are still shown.
void show_ascii(DialogHost& hwnd, int port, char* block, int count) {
  const int length = static_cast<int>(std::remove(block, block + count, '\0') - block);
  block[length] = '\0';
  hex_display_msg(hwnd, port, block, length);
}

void show_ansi(DialogHost& hwnd, int port, char* block, int count) {
  hex_display_msg(hwnd, port, block, hex_parse_ansi(hwnd, block, block, count));
}

// The decoders show their frames themselves, in the send port's colour.
void show_hdlc(DialogHost& hwnd, int, char* block, int count) { hex_parse_hdlc(hwnd, block, block, count); }
void show_ppp(DialogHost& hwnd, int, char* block, int count) { hex_parse_ppp(hwnd, block, block, count); }
void show_icni(DialogHost& hwnd, int, char* block, int count) { hex_parse_icni(hwnd, block, block, count); }

struct View {
  int ascii;       // hex_ascii: 1 when typed messages are text, 0 when hexadecimal pairs
  int local_echo;  // hex_local_echo and the Local Echo box; a terminal's far end echoes instead
  void (*show)(DialogHost& hwnd, int port, char* block, int count);
};

// In the order of the View selector and of the view codes.
constexpr View kViews[HEX_VIEW_MAX] = {
    {0, 1, show_hexadecimal},  // HEX_HEX_VIEW
    {1, 1, show_ascii},        // HEX_ASCII_VIEW
    {1, 0, show_ansi},         // HEX_ANSI_VIEW
    {0, 1, show_hdlc},         // HEX_HDLC_VIEW
    {0, 1, show_ppp},          // HEX_PPP_VIEW
    {0, 1, show_icni},         // HEX_ICNI_VIEW
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
  hwnd.set_focus(IDT_SCREEN);
}

void hex_show_block(DialogHost& hwnd, int port, char* block, int count) {
  if (hex_view_mode < 0 || hex_view_mode >= HEX_VIEW_MAX || count <= 0) return;
  // The hexadecimal view triples the block in place: more than a pump's read would not fit.
  kViews[hex_view_mode].show(hwnd, port, block, std::min(count, HEX_QUEUE_SIZE));
}
