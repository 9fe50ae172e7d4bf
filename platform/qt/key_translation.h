// What a key press on the display means to the program: Qt's key codes turned into the virtual-key
// codes and characters the display surface (and so the dialog's keyboard filter) takes.
//
// How it works
//   Keys that have a virtual-key code of their own (Enter, Backspace, the moves) get it, and those
//   that type a character as well (Enter CR, Backspace BS, Tab HT, Space) get that too. A letter is
//   its VK_KEY_A.. code and, with Ctrl, the control character (Ctrl+A = 01), taken from the key and
//   not the event's text, which differs between platforms. Ctrl with @ [ \ ] ^ _ types 00 and
//   1B..1F, as terminals do; no other Ctrl combination types. Otherwise the event's first Latin-1
//   character other than DEL is typed; a character beyond Latin-1 is not a character of the display.
#pragma once

#include <QString>

namespace platform {

// A virtual-key code (0: none) and a character (-1: none).
struct KeyStroke {
  int vk = 0;
  int ch = -1;

  bool operator==(const KeyStroke&) const = default;
};

KeyStroke translate_key(int key, bool control, const QString& text);

}  // namespace platform
