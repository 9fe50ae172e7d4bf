// Capture and No Capture: a pcapng file of both lines (capture/capture_writer.h), and what each
// tick keeps up to date for it and for the taps (core/line_record.h).
//
// How it works
//   Capture asks for a file (one that exists is replaced only if the user agrees), makes it and
//   records into it from then on: one interface per terminal port, named "Port A" and described
//   by its device or address and settings; the frames the view in use finds, on interfaces of
//   their own; and comments when a port's device, settings or presence changes and when a
//   transfer or dump begins and ends. Stop pauses the trace, not the capture: every byte that
//   crosses a line is recorded. No Capture, a second Capture, Exit and the signals that end the
//   program end the file, writing what waits for the disk. Each tick tells the records what the
//   ports are, serves the taps and looks at the writer: a file the disk refuses (full, an I/O
//   error) ends the capture with a box naming the path and the reason, and the trace goes on.
#pragma once

#include <string>

#include "core/port_claim.h"
#include "platform/dialog_host.h"

// The Capture button: a file to capture into, asked for; the capture running before ends first.
void hex_capture_open(platform::DialogHost& hwndDlg);
// No Capture, and the end of the program: the file ends with everything recorded.
void hex_capture_close(platform::DialogHost& hwndDlg);

// The records and the taps follow the ports: which serial port each terminal port is now, and how
// it is described. Called wherever a port's presence or binding changes, and each tick.
void hex_capture_follow();
// One screen tick: the records follow the ports, the taps are served, changes are commented on, and
// a capture the disk refused ends with a box.
void hex_capture_tick(platform::DialogHost& hwndDlg);
// A transfer or dump of `kind` has claimed terminal port `port`: the capture and the tap say so.
void hex_capture_transfer_began(platform::DialogHost& hwndDlg, int port, ClaimKind kind);

// A terminal port's line settings as a capture describes them: "9600 8N1, no flow control".
std::string hex_port_settings(int port);
