// Received text on the display, and bytes as hexadecimal text.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <span>
#include <string_view>

#include "core/hex.h"
#include "core/hex_display.h"
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
  // The text runs to its first NUL; `length` only tells an empty text from one to show.
  hex_show_in_trace(hwnd, hex_colour[port].rx, text);
  hex_save_rx_log(port, text, length);
}

int hex_to_hexstr(const char* data, char* text, int length) {
  if (length <= 0) return static_cast<int>(std::strlen(text));
  if (length > HEX_MAX_STRING) length = HEX_MAX_STRING;
  // The output may overwrite its own input, so the bytes are taken aside first.
  static std::array<std::uint8_t, HEX_MAX_STRING> work;
  const auto count = static_cast<std::size_t>(length);
  std::memcpy(work.data(), data, count);
  const std::size_t written =
      protocol::render_hex_pairs(std::span(work.data(), count), std::span(text, 3 * count));
  text[written] = '\0';
  return static_cast<int>(written);
}
