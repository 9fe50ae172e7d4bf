// Any bytes from the line, mixed with resizes, keys, pastes, scrolling and selections, leave the
// terminal emulator whole: no crash, no hang (libFuzzer's time-out), the cursor on the screen after
// every step (libvterm, which is not instrumented, writes where its cursor is: one off the screen
// is how it would write outside its buffer), and the scrollback and reply buffer within bounds.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <string_view>

#include "fuzz/fuzz_script.h"
#include "terminal/emulator.h"

namespace {

void require(bool condition) {
  if (!condition) std::abort();
}

terminal::Modifiers modifiers(std::uint8_t bits) {
  return {.shift = (bits & 1) != 0, .ctrl = (bits & 2) != 0, .alt = (bits & 4) != 0};
}

void act(terminal::Emulator& emulator, FuzzScript& script) {
  const std::uint8_t command = script.byte();
  switch (command % 8) {
    case 5: emulator.resize(script.byte() % 70, script.byte() % 150); break;
    case 6: {
      const auto key =
          static_cast<terminal::Key>(script.byte() % (static_cast<int>(terminal::Key::KeypadEnter) + 1));
      emulator.key(key, modifiers(script.byte()));
      emulator.character(script.byte() * 37u, modifiers(command >> 3));
      break;
    }
    case 7: {
      emulator.scroll_view(static_cast<std::int8_t>(script.byte()));
      const auto text = script.bytes(script.byte() % 32);
      emulator.paste(std::string_view(reinterpret_cast<const char*>(text.data()), text.size()),
                     script.byte());
      const std::int64_t line = emulator.first_line() + script.byte() % 64;
      emulator.text({line, script.byte() % 100}, emulator.position_at(script.byte() % 70, script.byte()));
      emulator.take_damage();
      break;
    }
    default: emulator.feed(script.bytes(script.byte() * 4u)); break;
  }
}

void check_cursor(const terminal::Emulator& emulator) {
  const terminal::Cursor cursor = emulator.cursor();
  const int screen_row = cursor.row - emulator.view_offset();
  require(cursor.column >= 0 && cursor.column < emulator.columns());
  require(screen_row >= 0 && screen_row < emulator.rows());
}

void check(const terminal::Emulator& emulator) {
  check_cursor(emulator);
  require(emulator.scrollback_size() <= 50);
  for (int r = 0; r < emulator.rows(); ++r)
    for (int c = 0; c < emulator.columns(); ++c) require(emulator.cell(r, c).width <= 2);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzScript script({data, size});
  const std::uint8_t setup = script.byte();
  terminal::Emulator emulator(
      {.rows = 1 + setup % 30,
       .columns = 1 + script.byte() % 100,
       .decoding = (setup & 0x80) != 0 ? terminal::Decoding::Latin1 : terminal::Decoding::Utf8,
       .scrollback_lines = 50});
  std::size_t written = 0;
  if ((setup & 0x40) != 0) emulator.set_line_sink([&](std::string_view line) { written += line.size(); });
  while (!script.done()) {
    act(emulator, script);
    check_cursor(emulator);
  }
  check(emulator);
  require(emulator.take_replies().size() <= terminal::kMaxReplyBytes);
  emulator.cursor_row_text();
  return 0;
}
