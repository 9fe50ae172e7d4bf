// The terminal side of the display: keys sent on the send port as ANSI sequences, typed characters,
// the injected key that moves the caret, and the view switch.
#pragma once

#include "platform/dialog_host.h"

// Key code the keyboard filter substitutes for the next injected key.
extern int hex_escape_code;

// Key senders run by the keyboard filter. The cursor and page keys and Return send only in the
// ANSI view; Escape and Delete (sent as Backspace) in every view.
void hex_ansi_up();
void hex_ansi_down();
void hex_ansi_left();
void hex_ansi_right();
void hex_ansi_home();
void hex_ansi_end();
void hex_ansi_pg_up();
void hex_ansi_pg_dn();
void hex_ansi_return();
void hex_ansi_escape();
void hex_ansi_back();
// A typed character: sent on the send port, logged, and given the send port's transmit colour for
// the display's echo.
void hex_ansi_char(platform::DialogHost& hwnd, int ch);

// Injects one key-down with `code` into the display, acted on before this returns.
void hex_screen_backdoor(platform::DialogHost& hwnd, int code);

// The view selector changed.
void hex_ViewSelChange(platform::DialogHost& hwnd);
