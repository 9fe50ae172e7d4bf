// The ANSI view takes any bytes from the line, in blocks of any size, as the pump hands them over:
// the parser returns no more characters than it read, only text characters and NUL-terminated, and
// after each block the caret and the view stay within the display's text.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "core/dialog_template.h"
#include "core/hex.h"
#include "core/hex_display.h"
#include "platform/headless_host.h"
#include "shell/dialog.h"
#include "views/ansi_parser.h"

namespace {

void require(bool condition) {
  if (!condition) std::abort();
}

bool is_text(unsigned char c) { return (c >= 0x20 && c <= 0x7F) || c == '\n' || c == '\t'; }

// One host for the whole run; its dialog procedure's keyboard filter carries the injected keys.
platform::HeadlessHost& host() {
  static platform::HeadlessHost* const made = [] {
    auto* h = new platform::HeadlessHost(quillport_dialog(), DialogFunc);
    h->screen().set_key_events(true);
    return h;
  }();
  return *made;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  platform::HeadlessHost& h = host();
  h.screen().set_text("");
  for (HEX_OBJ_TYP& obj : hex_obj) obj.ansi_state = obj.ansi_code = obj.ansi_data = obj.ansi_data0 = obj.ansi_x =
      obj.ansi_y = 0;
  hex_view_mode = HEX_ANSI_VIEW;
  hex_send_port = data[0] & 1;
  // The first byte also sets the block sizes (1 to 128); the rest is the line's bytes.
  const std::size_t block_size = 1 + (data[0] >> 1);
  std::vector<char> block(HEX_MAX_STRING + 1);
  for (std::size_t at = 1; at < size; at += block_size) {
    const int count = static_cast<int>(std::min(block_size, size - at));
    std::copy_n(data + at, count, block.begin());
    const int length = hex_parse_ansi(h, block.data(), block.data(), count);
    require(length >= 0 && length <= count && block[static_cast<std::size_t>(length)] == '\0');
    require(std::all_of(block.begin(), block.begin() + length, [](char c) { return is_text(static_cast<unsigned char>(c)); }));
    hex_display_msg(h, static_cast<int>(at / block_size) & 1, block.data(), length);
    const platform::Selection caret = h.screen().selection();
    require(caret.cpMin >= 0 && caret.cpMin <= caret.cpMax && caret.cpMax <= h.screen().text_length());
    require(h.screen().first_visible_line() >= 0 && h.screen().first_visible_line() < h.screen().line_count());
  }
  return 0;
}
