// The Terminal view takes any bytes from either line, in blocks of any size, through the view table
// as the pump hands them over, mixed with what the user does to the terminal (keys, pastes, new
// sizes and decodings, scrolling, selecting, Clear): no crash, no hang (libFuzzer's time-out), the
// cursor on the screen, and the scrollback, the trace behind the terminal and a paste within bounds.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>

#include "fuzz/fuzz_script.h"
#include "core/dialog_template.h"
#include "core/hex.h"
#include "platform/headless_host.h"
#include "shell/dialog.h"
#include "views/terminal_view.h"
#include "views/view_switch.h"

namespace {

void require(bool condition) {
  if (!condition) std::abort();
}

// One host for the whole run, with the program's dialog procedure behind the terminal's input.
platform::HeadlessHost& host() {
  static platform::HeadlessHost* const made = new platform::HeadlessHost(quillport_dialog(), DialogFunc);
  return *made;
}

// What the user does, chosen by a byte below 0x10; any other byte starts a block from the line.
void act(platform::TerminalSurface& terminal, std::uint8_t what, FuzzScript& script) {
  const terminal::Modifiers modifiers{.shift = (what & 1) != 0, .ctrl = (what & 2) != 0, .alt = false};
  switch (what) {
    case 0:
    case 1:
      terminal.key(static_cast<terminal::Key>(script.byte() % (static_cast<int>(terminal::Key::KeypadEnter) + 1)),
                   modifiers);
      break;
    case 2:
    case 3: terminal.character(script.byte(), modifiers); break;
    case 4: {
      const auto text = script.bytes(script.byte());
      terminal.paste(std::string(text.begin(), text.end()));
      break;
    }
    case 5: terminal.set_size({1 + script.byte() % 60, 2 + script.byte() % 140}); break;
    case 6: terminal.set_decoding(script.byte() & 1 ? terminal::Decoding::Latin1 : terminal::Decoding::Utf8); break;
    case 7: terminal.scroll_view(static_cast<std::int8_t>(script.byte())); break;
    case 8: terminal.select_word(script.byte() % 64, script.byte() % 160); break;
    case 9: terminal.select(terminal.emulator().position_at(script.byte() % 64, script.byte() % 160),
                            terminal.emulator().position_at(script.byte() % 64, script.byte() % 160));
      (void)terminal.selected_text();
      break;
    case 10: terminal.clear(); break;
    case 11: hex_send_port = script.byte() & 1; break;
    case 12: hex_terminal_tick(host()); break;
    default: break;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  platform::HeadlessHost& h = host();
  platform::TerminalSurface& terminal = h.terminal();
  hex_view_mode = HEX_TERMINAL_VIEW;
  hex_send_port = 0;
  hex_terminal_reset();
  terminal.clear();
  h.screen().set_text("");
  ReceiveText text;
  FuzzScript script({data, size});
  while (!script.done()) {
    const std::uint8_t what = script.byte();
    if (what < 0x10) {
      act(terminal, what, script);
    } else {
      // The block's port and size (1 to 4096 bytes) come from the bytes before it.
      const int port = what & 1;
      const auto block = script.bytes(1 + (std::size_t{script.byte()} << 4 | (what >> 4)));
      hex_show_block(h, port, block, text);
    }
    const terminal::Emulator& emulator = terminal.emulator();
    const terminal::Cursor cursor = emulator.cursor();
    const int screen_row = cursor.row - emulator.view_offset();  // the cursor's row counts from the view's top
    require(screen_row >= 0 && screen_row < emulator.rows() && cursor.column >= 0 && cursor.column < emulator.columns());
    require(emulator.scrollback_size() <= 10000);
    require(emulator.view_offset() >= 0 && static_cast<std::size_t>(emulator.view_offset()) <= emulator.scrollback_size());
  }
  return 0;
}
