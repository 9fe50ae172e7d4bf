// The message line: the field and list of messages (IDC_MSG), the hex-pair reading of a message, and
// Send, which writes the message to the send port, echoes it and logs it.
//
// A message is hexadecimal pairs separated by one character of any kind, or, in text mode
// (hex_ascii), plain text sent with CR LF. The field is read whole, up to HEX_MAX_STRING - 1
// characters; a longer text is refused with a box rather than cut. The list keeps at most
// HEX_MAX_MSG texts, each whole however long.
#pragma once

#include <array>
#include <cstddef>

#include "core/hex.h"
#include "platform/dialog_host.h"

// Reads `hexstr` (NUL-terminated) as pairs, the way a "%02x" scan with a three-character step does:
// white space is skipped, at most two digits make a byte, and a byte read moves three characters on
// from where its attempt began, anything else one. `data` receives one byte per pair and needs room
// for (strlen(hexstr) + 2) / 3 bytes, and never more than HEX_MAX_STRING are stored. Returns the
// count stored, 0 when the text holds no hexadecimal digit.
int hex_hexstr_to_bin(const char* hexstr, char* data);

// The Send button: the field's message goes to the send port. A message whose write fails is
// neither echoed nor logged, and the progress line says why.
void hex_send_msg(platform::DialogHost& hwnd);

// The list rule, run when the field loses the focus and after Add Frame: the field's text is added
// unless an item already holds it (letter case aside); an eleventh item replaces the tenth.
void hex_msg_remember(platform::DialogHost& hwnd);

// The field's text, NUL-terminated, for Send, CheckSum and Add Frame. False (with a box saying so)
// when the text is longer than HEX_MAX_STRING - 1 characters.
using HexMessageText = std::array<char, HEX_MAX_STRING>;
bool hex_read_msg(platform::DialogHost& hwnd, HexMessageText& text);

// The most octets hex_hexstr_to_bin reads from a field's text: one per three characters, the last
// pair needing no separator.
inline constexpr std::size_t kLongestMessage = (HEX_MAX_STRING - 1 + 2) / 3;
