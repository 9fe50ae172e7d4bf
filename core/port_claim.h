// The terminal port a transfer or dump holds, and what that holds still.
//
// How it works
//   A transfer or dump claims the terminal port that is the send port when it starts
//   (hex_xsend_port) and keeps it to the end, whatever the user chooses meanwhile; one runs at a
//   time. This module alone sets and clears the claim: the port, the switch of its kind
//   (hex_xmodem_busy or hex_dump_busy) and the greyed controls. While a port is claimed the UI
//   thread makes no other serial call on it: the pump and the ports that come back skip it, senders
//   are refused ("Port A is busy with a transfer"), and the controls that would change the port
//   under the transfer are greyed: Start, both port bindings (the other port must not be bound to
//   the transfer's device) and the line settings of the transfer's port.
#pragma once

#include "platform/dialog_host.h"

extern int hex_xsend_port;   // the terminal port of the running transfer or dump
extern int hex_xmodem_busy;  // 1 while an XMODEM transfer runs
extern int hex_dump_busy;    // 1 while a raw dump runs

enum class ClaimKind { XModem, Dump };

// Claims terminal port `port` for a transfer or dump of `kind` and greys what it holds still.
void hex_claim_port(platform::DialogHost& hwnd, int port, ClaimKind kind);
// The transfer or dump has ended: the port and the controls are free again.
void hex_release_port(platform::DialogHost& hwnd);
// No claim, as at start-up, the controls left as they are: for tests, which run many starts.
void hex_forget_claim();

// True while a transfer or dump runs.
bool hex_transfer_running();
// True while a transfer or dump uses terminal port `port`.
bool hex_port_busy(int port);
// True for the controls a running transfer holds still (greyed while it runs).
bool hex_transfer_holds(int id);
