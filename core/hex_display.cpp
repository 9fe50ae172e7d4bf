#include "core/hex_display.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <string_view>

#include "core/hex.h"
#include "core/hex_log.h"
#include "core/screen_ops.h"
#include "protocol/hex_pairs.h"

void hex_show_in_trace(platform::DialogHost& hwnd, platform::Colour colour, std::string_view shown) {
  platform::DisplaySurface& screen = hwnd.screen();
  screen.set_insert_colour(colour);
  const platform::Selection user = screen.selection();
  const int end = screen.text_length();
  if (hex_view_mode == HEX_ANSI_VIEW) {
    // The caret is the terminal's cursor: text goes where the sequences put it.
    screen.replace_selection(shown);
    hex_ansi_scroll(hwnd);
  } else if (user.cpMin != user.cpMax) {
    // Text the user has selected is neither replaced nor scrolled away: the trace goes on at the end.
    screen.set_selection(end, end);
    screen.replace_selection(shown);
    // Scrollback trimmed from the front moves the selection back by what was dropped.
    const int dropped = end + static_cast<int>(shown.size()) - screen.text_length();
    screen.set_selection(std::max(0, user.cpMin - dropped), std::max(0, user.cpMax - dropped));
  } else {
    // The trace stays in arrival order wherever the user last clicked.
    screen.set_selection(end, end);
    screen.replace_selection(shown);
    hex_caretbottom(hwnd);
  }
}

void hex_display_msg(platform::DialogHost& hwnd, int port, const char* text, int length) {
  if (length < 1 || port < 0 || port >= HEX_MAX_PORT) return;
  const std::string_view shown(text, strnlen(text, static_cast<std::size_t>(length)));
  hex_show_in_trace(hwnd, hex_colour[port].rx, shown);
  // The log takes a NUL-terminated text: one cut short by `length` is copied to be so.
  if (text[shown.size()] == '\0')
    hex_save_rx_log(port, text, length);
  else
    hex_save_rx_log(port, std::string(shown).c_str(), length);
}

int hex_to_hexstr(const char* data, char* text, int length) {
  if (length <= 0) return static_cast<int>(std::strlen(text));
  const int count = std::min(length, HEX_MAX_STRING);
  // From the last byte back: a byte's pair lands at or after the byte itself, so the text may
  // overwrite its own input without the bytes being taken aside.
  for (int i = count; i-- > 0;) {
    const auto byte = static_cast<std::uint8_t>(data[i]);
    protocol::render_hex_pairs(std::span(&byte, 1), std::span(text + 3 * i, 3));
  }
  text[3 * count] = '\0';
  return 3 * count;
}
