#include "platform/qt/terminal_keys.h"

namespace platform {
namespace {

using terminal::Key;

std::optional<Key> named_key(int key) {
  if (key >= Qt::Key_F1 && key <= Qt::Key_F12) return static_cast<Key>(static_cast<int>(Key::F1) + key - Qt::Key_F1);
  switch (key) {
    case Qt::Key_Return: return Key::Enter;
    case Qt::Key_Enter: return Key::KeypadEnter;
    case Qt::Key_Tab:
    case Qt::Key_Backtab: return Key::Tab;
    case Qt::Key_Backspace: return Key::Backspace;
    case Qt::Key_Escape: return Key::Escape;
    case Qt::Key_Up: return Key::Up;
    case Qt::Key_Down: return Key::Down;
    case Qt::Key_Left: return Key::Left;
    case Qt::Key_Right: return Key::Right;
    case Qt::Key_Insert: return Key::Insert;
    case Qt::Key_Delete: return Key::Delete;
    case Qt::Key_Home: return Key::Home;
    case Qt::Key_End: return Key::End;
    case Qt::Key_PageUp: return Key::PageUp;
    case Qt::Key_PageDown: return Key::PageDown;
    default: return std::nullopt;
  }
}

// The keypad's digits and signs, which xterm sends differently in application keypad mode; its
// other keys (arrows with Num Lock off, Enter) are the named keys.
std::optional<Key> keypad_key(int key) {
  if (key >= Qt::Key_0 && key <= Qt::Key_9) return static_cast<Key>(static_cast<int>(Key::Keypad0) + key - Qt::Key_0);
  switch (key) {
    case Qt::Key_Period:
    case Qt::Key_Comma: return Key::KeypadDecimal;
    case Qt::Key_Plus: return Key::KeypadPlus;
    case Qt::Key_Minus: return Key::KeypadMinus;
    case Qt::Key_Asterisk: return Key::KeypadMultiply;
    case Qt::Key_Slash: return Key::KeypadDivide;
    default: return std::nullopt;
  }
}

// The character of a printable ASCII key, as Shift makes it for a letter.
std::u32string key_character(int key, bool shift) {
  if (key < 0x20 || key > 0x7E) return {};
  char32_t c = static_cast<char32_t>(key);
  if (c >= U'A' && c <= U'Z' && !shift) c += U'a' - U'A';
  return std::u32string(1, c);
}

std::u32string typed_characters(const QString& text) {
  std::u32string characters;
  for (const char32_t c : text.toUcs4())
    if (c >= 0x20 && c != 0x7F) characters += c;  // control codes come from keys, not from text
  return characters;
}

}  // namespace

std::optional<TerminalKeyPress> terminal_key_press(int key, Qt::KeyboardModifiers modifiers, const QString& text) {
  if (modifiers.testFlag(Qt::MetaModifier)) return std::nullopt;
  TerminalKeyPress press;
  press.modifiers = {modifiers.testFlag(Qt::ShiftModifier), modifiers.testFlag(Qt::ControlModifier),
                     modifiers.testFlag(Qt::AltModifier)};
  if (modifiers.testFlag(Qt::KeypadModifier)) press.key = keypad_key(key);
  if (!press.key) press.key = named_key(key);
  if (press.key) return press;
  const bool by_key = press.modifiers.ctrl || press.modifiers.alt;
  press.characters = by_key ? key_character(key, press.modifiers.shift) : typed_characters(text);
  // Alt with a key beyond ASCII (é on a French layout) still types its character.
  if (press.characters.empty() && press.modifiers.alt && !press.modifiers.ctrl)
    press.characters = typed_characters(text);
  if (press.characters.empty()) return std::nullopt;
  return press;
}

}  // namespace platform
