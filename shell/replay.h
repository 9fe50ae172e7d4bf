// Replay: a capture shown in the trace through the current view, at once or at its recorded pace.
//
// How it works
//   Replay asks for a capture (pcapng or pcap) and the screen tick reads it record by record, so the
//   window never waits for it: at once, up to 256 KB of line bytes a tick; with Paced down, each
//   record once as much time has passed since it was reached as passed in the capture (Paced may
//   be pressed or released while a replay runs). The records of one tick are shown in the order of
//   their times. Received bytes go through the current view as the pump's do, one record a block;
//   bytes sent are shown as Send shows them when Local Echo is on ("Tx1 ..." lines, or the text in
//   the text views). Frame headers and Tx lines carry the record's own time: the milliseconds
//   since the capture's first record, wrapping at 65536 as the live time stamp does.
//   The interfaces named "Port A" and "Port B" (a Quillport capture) are those ports; in a capture
//   from elsewhere the first two RTAC Serial interfaces are. Frames, comments and other link types
//   are passed over: the view finds the frames again, decoding the replay apart from the live lines
//   (from a fresh start, so a live frame half collected is neither cut nor mixed with replayed
//   bytes). Nothing is sent on the lines, Stop does not
//   hold a replay back, and the frames a replay shows are not captured. A file that is not a
//   capture, or is cut short or damaged, is named in a box with the reason (what came before the
//   damage has been shown). Replay pressed while a replay runs ends it.
#pragma once

#include "platform/dialog_host.h"

// The Replay button.
void win_replay_click(platform::DialogHost& hwnd);
// One screen tick: the records now due.
void win_replay_tick(platform::DialogHost& hwnd);
// Ends a running replay without a word (the end of the program).
void win_replay_end(platform::DialogHost& hwnd);
// True while a replay runs.
bool win_replaying();
