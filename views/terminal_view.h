// The Terminal view: the trace pane becomes a VT100/xterm terminal on the send port
// (platform/terminal_surface.h, on the emulator of terminal/).
//
// How it works
//   Received bytes of the send port are fed to the emulator, which carries out their sequences on
//   its screen; what it answers (device status and attribute reports) is written back to the same
//   port at once. The other port's bytes go on being read and are shown, as hexadecimal pairs, in
//   the trace behind the terminal (seen again in any other view) and in the log, so none of them is
//   lost while the terminal is up.
//
//   What the user types is sent on the send port as the emulator encodes it, once per key, through
//   the senders' path: a port that is absent or held by a transfer refuses it and says so, and a
//   failed send shows nothing. With Local Echo on, what was sent is also fed to the screen.
//
//   A paste is sent at the line's pace (views/paste_pacer.h), bracketed when the far end asked for
//   bracketed paste; a paste larger than kMaxPasteBytes is refused. Ctrl+C typed while a paste
//   is still going out stops the rest of it (and is sent as ever).
//
//   The HTML log gets the terminal's text as it is written (the emulator's written lines, without
//   escape sequences) in the send port's receive colour, not the raw bytes. Keys and pastes are not
//   logged: the far end's echo of them is in the written text, and a password typed at a prompt
//   that does not echo stays out of the file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "platform/dialog_host.h"

inline constexpr std::size_t kMaxPasteBytes = std::size_t{1} << 20;

// Received bytes of terminal port `port`, which is the send port, to the terminal screen.
void hex_show_terminal(platform::DialogHost& hwnd, int port, std::span<const std::uint8_t> bytes);

// The terminal is shown in the trace's place while the Terminal view is chosen.
void hex_terminal_follow_view(platform::DialogHost& hwnd);

// What the user typed or pasted into the terminal screen.
void hex_terminal_input(platform::DialogHost& hwnd, const platform::TerminalInput& input);

// Each screen tick: the next piece of a paste under way.
void hex_terminal_tick(platform::DialogHost& hwnd);

// A paste under way is dropped (a new dialog starts).
void hex_terminal_reset();
