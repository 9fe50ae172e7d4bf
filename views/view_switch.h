// The seven views of received bytes. One table says per view how typed messages are read (as text or
// as hexadecimal pairs), whether typed keys are echoed, and how a block of received bytes is shown;
// the View selector and the receive path both go through it, so a view is one row.
//
// How it works
//   The pump reads a block of bytes from a port and hands it to hex_show_block with a text buffer
//   of its own. The current view's renderer reads the bytes and writes what it shows into that
//   buffer: hexadecimal pairs, the text without NULs, the ANSI terminal's printable rest, or one
//   line per completed frame. Nothing is rendered over the bytes it reads, and no view keeps a
//   buffer of its own. A block longer than HEX_QUEUE_SIZE is shown in pieces of that size. The
//   Terminal view feeds the send port's bytes to the terminal screen instead (views/
//   terminal_view.h) and shows the other port's as hexadecimal pairs.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "core/hex.h"
#include "platform/dialog_host.h"

// What a view writes one block's text into: HEX_QUEUE_SIZE bytes as hexadecimal pairs, or a frame
// line, and the NUL.
using ReceiveText = std::array<char, HEX_MAX_STRING + 1>;

// Shows `bytes` received on terminal port `port` in the current view, through the caller's `text`.
// A view code outside the table shows nothing.
void hex_show_block(platform::DialogHost& hwnd, int port, std::span<const std::uint8_t> bytes, ReceiveText& text);

// True when the current view shows the same text however the received bytes are cut into blocks,
// so that one port's blocks in a row may be shown as one. The ANSI view acts on each block's
// sequences before its text, and a frame takes the time of the block that completes it: those
// views are given each block as it arrived.
bool hex_view_joins_blocks();

// The View selector changed: the view chosen, with its entry mode and echo.
void hex_ViewSelChange(platform::DialogHost& hwnd);
