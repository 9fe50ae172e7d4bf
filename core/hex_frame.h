// The frame builder: Add Frame wraps the message of the field in an HDLC, PPP or ICNI frame with the
// selected check value and puts the frame back in the field as hexadecimal pairs, ready for Send.
// Choosing a frame type presets the check type, the matching decoder view, hexadecimal entry and
// local echo.
//
// Layouts (M the message octets, K the check value, least significant octet first):
//   HDLC  7E, the bits of M K with a 0 inserted after every five 1s, a closing 7E, packed LSB first
//   PPP   7E, M K with octets below 20, 7D and 7E escaped as 7D and the octet xor 20, 7E
//   ICNI  EE, M with its second octet replaced by the count of octets after the first two, K
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "platform/dialog_host.h"

// The Add Frame button. With "None" chosen the field keeps its text; either way the field's text then
// goes into the message list. With no check type selected the frame has no check value. A frame
// whose text would not fit the field's HEX_MAX_STRING - 1 characters is refused with a box, and the
// field is left as it was.
void hex_frameit(platform::DialogHost& hwnd);

// The frame type selector reported something: its presets are applied.
void hex_frameChanged(platform::DialogHost& hwnd);

// Builds the frame of type `frame` (HEX_HDLC .. HEX_ICNI) with check type `check` (any other value:
// no check value) around `message` into `out`; for ICNI the message's length octet is set first.
// Returns the frame's length; 0 for "None", an unknown type, a message longer than a field's text
// can give (kLongestMessage octets), or an `out` too small.
std::size_t hex_build_frame(int frame, int check, std::span<std::uint8_t> message,
                            std::span<std::uint8_t> out);
