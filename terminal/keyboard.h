// The keys a user types and what xterm sends for them, where the far end's modes play no part.
//
// The emulator asks libvterm, which tracks the modes, for the keys whose bytes depend on them:
// cursor keys, Home and End (ESC [ A or ESC O A as application cursor mode says), the editing and
// function keys with xterm's modifier parameter (Ctrl+Up is ESC [ 1 ; 5 A), the keypad (digits, or
// ESC O p... in application keypad mode) and Enter (CR, or CR LF in newline mode).
//
// What is here is xterm's own behaviour (no modifyOtherKeys), where libvterm 0.1.4 sends its CSI u
// forms instead (ESC [ 127 ; 5 u for Ctrl+Backspace, ESC [ 9 ; 5 u for Ctrl+Tab):
//   - Backspace sends DEL, or BS by the setting; with Ctrl the other one; Shift changes nothing.
//   - Tab sends HT, Shift+Tab ESC [ Z; Escape sends ESC; Ctrl changes neither.
//   - A character with Ctrl becomes a control character as Xlib's key lookup makes it for xterm:
//     @, A-Z, [ \ ] ^ _ and ` a-z { | } ~ give their code & 0x1F, space and 2 give NUL, 3-7 give
//     ESC, FS, GS, RS and US, 8 gives DEL and / gives US; any other character is sent as it is.
//   - Alt sends ESC before what a character, Enter, Tab, Backspace or Escape sends without it (the
//     cursor, editing and function keys carry it in the modifier parameter, ESC [ 1 ; 3 A).
//   - Shift alone changes no character (the character typed already is the shifted one).
// A character is sent in the decoding the terminal reads: UTF-8, or Latin-1 with '?' for a
// character beyond U+00FF.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "terminal/input_guard.h"

namespace terminal {

enum class Key : std::uint8_t {
  Enter, Tab, Backspace, Escape,
  Up, Down, Left, Right,
  Insert, Delete, Home, End, PageUp, PageDown,
  F1, F2, F3, F4, F5, F6, F7, F8, F9, F10, F11, F12,
  Keypad0, Keypad1, Keypad2, Keypad3, Keypad4, Keypad5, Keypad6, Keypad7, Keypad8, Keypad9,
  KeypadDecimal, KeypadPlus, KeypadMinus, KeypadMultiply, KeypadDivide, KeypadEnter,
};

struct Modifiers {
  bool shift = false;
  bool ctrl = false;
  bool alt = false;
};

enum class BackspaceSends : std::uint8_t { Delete, Backspace };

// The bytes of Backspace, Tab and Escape; nothing for the other keys, whose bytes libvterm gives.
std::optional<std::string> fixed_key_bytes(Key key, Modifiers modifiers, BackspaceSends backspace);

// What Ctrl turns `c` into, or `c` itself.
char32_t control_character(char32_t c);

// The bytes of a typed character.
std::string character_bytes(char32_t c, Modifiers modifiers, Decoding decoding);

}  // namespace terminal
