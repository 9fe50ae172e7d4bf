// The terminal side of the display: keys sent on the send port as ANSI sequences, typed characters,
// and the injected key that moves the caret.
#pragma once

#include "platform/dialog_host.h"

// Key code the keyboard filter substitutes for the next injected key.
extern int hex_escape_code;

// Key senders run by the keyboard filter. The cursor and page keys and Return send only in the
// ANSI view; Escape and Delete (sent as Backspace) in every view. Each returns 1 when its bytes
// were sent and logged (or it had none to send), 0 when the send failed: nothing was logged, the
// progress line says why, and the key must not be echoed.
int hex_ansi_up();
int hex_ansi_down();
int hex_ansi_left();
int hex_ansi_right();
int hex_ansi_home();
int hex_ansi_end();
int hex_ansi_pg_up();
int hex_ansi_pg_dn();
int hex_ansi_return();
int hex_ansi_escape();
int hex_ansi_back();
// A typed character: sent on the send port, logged, and given the send port's transmit colour for
// the display's echo, which is placed by hex_place_echo. 1 when sent, 0 as for the key senders.
int hex_ansi_char(platform::DialogHost& hwnd, int ch);
// The display's echo of a character whose bytes a key-down has sent already: placed and coloured
// as hex_ansi_char's, nothing sent or logged.
void hex_ansi_echo(platform::DialogHost& hwnd);

// Puts the caret where a typed key's echo goes and aligns the page on it. With local echo on, that
// is the end of the trace, where received text goes, so the trace shows bytes in the order they
// crossed the line; in the ANSI view the caret is the terminal's cursor and stays where it is.
void hex_place_echo(platform::DialogHost& hwnd);

// Injects one key-down with `code` into the display, acted on before this returns.
void hex_screen_backdoor(platform::DialogHost& hwnd, int code);
