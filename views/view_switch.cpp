// The view selector: how received bytes are rendered, how messages are read, and whether typed keys
// are echoed.
#include "core/hex.h"
#include "core/resource.h"
#include "views/ansi_terminal.h"

namespace {

struct ViewSettings {
  int ascii;
  int local_echo;
  bool rendered;  // the pump can render this view in this build
};

constexpr ViewSettings kViews[HEX_VIEW_MAX] = {
    {0, 1, true},   // Hexadecimal
    {1, 1, true},   // ASCII
    {1, 0, false},  // ANSI
    {0, 1, false},  // HDLC
    {0, 1, false},  // PPP
    {0, 1, false},  // ICNI
};

}  // namespace

void hex_ViewSelChange(platform::DialogHost& hwnd) {
  const int view = hwnd.selected_entry(IDC_VIEW);
  if (view >= 0 && view < HEX_VIEW_MAX) {
    if (!kViews[view].rendered) {
      // The terminal and frame views are not built yet: the selector must never claim a view
      // whose bytes would not be shown.
      hwnd.select_entry(IDC_VIEW, hex_view_mode);
    } else {
      hex_view_mode = view;
      hex_ascii = kViews[view].ascii;
      hex_local_echo = kViews[view].local_echo;
      hwnd.set_check(IDC_ECHO, hex_local_echo ? platform::Check::Checked : platform::Check::Unchecked);
    }
  }
  hwnd.set_focus(IDT_SCREEN);
}
