#include "terminal/keyboard.h"

#include "terminal/cell.h"

namespace terminal {

namespace {

constexpr char kEsc = '\x1b';

std::string with_alt(std::string bytes, Modifiers modifiers) {
  if (modifiers.alt) bytes.insert(bytes.begin(), kEsc);
  return bytes;
}

std::string backspace_bytes(Modifiers modifiers, BackspaceSends backspace) {
  const bool sends_delete = (backspace == BackspaceSends::Delete) != modifiers.ctrl;
  return with_alt(sends_delete ? "\x7f" : "\b", modifiers);
}

void append_encoded(std::string& out, char32_t c, Decoding decoding) {
  if (decoding == Decoding::Utf8)
    append_utf8(out, c);
  else
    out += c <= 0xFF ? static_cast<char>(c) : '?';
}

}  // namespace

std::optional<std::string> fixed_key_bytes(Key key, Modifiers modifiers, BackspaceSends backspace) {
  switch (key) {
    case Key::Backspace: return backspace_bytes(modifiers, backspace);
    case Key::Tab: return with_alt(modifiers.shift ? "\x1b[Z" : "\t", modifiers);
    case Key::Escape: return with_alt("\x1b", modifiers);
    default: return std::nullopt;
  }
}

char32_t control_character(char32_t c) {
  if ((c >= U'@' && c < 0x7F) || c == U' ') return c & 0x1F;
  if (c == U'2') return 0;
  if (c >= U'3' && c <= U'7') return c - U'3' + 0x1B;
  if (c == U'8') return 0x7F;
  if (c == U'/') return 0x1F;
  return c;
}

std::string character_bytes(char32_t c, Modifiers modifiers, Decoding decoding) {
  std::string bytes;
  append_encoded(bytes, modifiers.ctrl ? control_character(c) : c, decoding);
  return with_alt(std::move(bytes), modifiers);
}

}  // namespace terminal
