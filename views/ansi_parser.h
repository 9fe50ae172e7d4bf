// The receive side of the ANSI terminal: cursor and erase sequences act on the display while a block
// is read, and the block's printable characters are returned to be inserted at the caret afterwards.
//
// The parser's state lives in the send port's record, whatever port delivered the block, so bytes of
// both ports pass through one state, and a sequence split between reads or interrupted by a view
// switch is completed by the next block parsed. ESC restarts a sequence in any state.
//
// Every sequence is consumed whole, as ECMA-48 shapes it, whether acted on or not: ESC [ with its
// parameter bytes (private ones such as ESC [ ? 25 l too) up to a final byte 0x40-0x7E; ESC with
// intermediate bytes up to a final byte (ESC ( B, ESC # 8); ESC and one final byte (ESC 7, ESC c);
// the strings of ESC ] (a title), ESC P, ESC X, ESC ^ and ESC _ up to BEL or ESC \. Inside a
// sequence a control byte is carried out without ending it, as a VT100 does, and CAN or SUB abandon
// it; so nothing of a sequence's parameters ever reaches the screen.
//
// Sequences acted on (any other is consumed without effect):
//   ESC [ A, B, C, D      caret up, down, right, left (the display's own arrow keys, injected)
//   ESC O P, ESC O S      a page up, down (injected)
//   ESC [ H, ESC [ f      caret to the start of the text
//   ESC O Q               caret to the end of its line
//   ESC [ J, ESC [ 0 J    erase from the caret to the end of the text; ESC [ 2 J empties the screen
//   ESC [ K, ESC [ 0 K    erase from the caret to the end of its line; ESC [ 2 K erases the line
//   ESC [ r ; c H or f    caret to row r, column c of the caret's page, both counted from 1 as an
//                         ANSI host sends them (0 or none counts as 1), rows and columns added as needed
// A received BS moves the caret one place left, as ESC [ D does; a monitor never transmits because
// of what it received. LF and HT are text; CR, other control bytes and bytes 0x80-0xFF are dropped.
#pragma once

#include "platform/dialog_host.h"

// Values of ansi_state in the port record.
inline constexpr int HEX_ANSI_IDLE = 0;
inline constexpr int HEX_ANSI_ESC = 1;
inline constexpr int HEX_ANSI_CODE = 2;
inline constexpr int HEX_ANSI_DATA = 3;
inline constexpr int HEX_ANSI_Y1 = 4;
inline constexpr int HEX_ANSI_Y0 = 5;
inline constexpr int HEX_ANSI_SEMI = 6;
inline constexpr int HEX_ANSI_X1 = 7;
inline constexpr int HEX_ANSI_X0 = 8;
inline constexpr int HEX_ANSI_LAST = 9;
inline constexpr int HEX_ANSI_STRING = 10;            // inside ESC ] ... BEL and its kin
inline constexpr int HEX_ANSI_ESC_INTERMEDIATE = 11;  // after ESC and an intermediate byte, as ESC (

// Reads `length` bytes at `ansi`, carries out their sequences on the display, and writes the
// characters to show into `plaintext` (which may be `ansi` itself), NUL-terminated. Returns their
// number, never more than `length`; `plaintext` needs room for that many plus the NUL.
int hex_parse_ansi(platform::DialogHost& hwnd, const char* ansi, char* plaintext, int length);
