// What a key press on the terminal screen means to the terminal: one of its keys (terminal/
// keyboard.h), or the characters typed, with Shift, Ctrl and Alt.
//
// How it works
//   Keys with a meaning of their own (Enter, Tab, Backspace, Escape, the cursor, editing and
//   function keys, the keypad with the keypad modifier) are that key. With Ctrl or Alt held, the
//   character is taken from the key itself, for printable ASCII keys: Qt's text for a Ctrl or Alt
//   combination differs between platforms and is empty under test input; a letter is taken in
//   lower case, shifted only by Shift and never by Ctrl (Ctrl+Shift+A is still Ctrl+A, 01).
//   Otherwise the event's text is typed, every character of it (an input method may commit
//   several), as Unicode. The Meta key belongs to the desktop: its combinations mean nothing here,
//   nor does a key that types nothing (a lone modifier).
#pragma once

#include <QList>
#include <QString>

#include <optional>
#include <string>

#include "terminal/keyboard.h"

namespace platform {

struct TerminalKeyPress {
  std::optional<terminal::Key> key;  // a key of the terminal's own
  std::u32string characters;         // or what was typed
  terminal::Modifiers modifiers;
};

std::optional<TerminalKeyPress> terminal_key_press(int key, Qt::KeyboardModifiers modifiers, const QString& text);

}  // namespace platform
