// The XMODEM engine: one file over one serial port, as sender or receiver, stepped by its caller.
//
// How it works
//   The caller acquires a port (xyAcquire), starts a transfer (xyStartTx or xyStartRx) and calls
//   xyDriver until it returns 0; the outcome is then XY_GET_ERROR_CODE (0 = success). Each call runs
//   at most nine steps of a state machine (TX_* / RX_* below) and returns; a step that waits for the
//   peer blocks in GetChar for at most 1.5 s (30 slices of 50 ms, each a poll() on the port), so a
//   call returns within a few seconds whatever the line does. One thread drives the engine; the only
//   call another thread may make is xyRequestAbort, which wakes the current wait at once.
//
//   Sender: waits up to 60 s for the receiver's start character (NAK: 8-bit checksum, 'C': CRC-16),
//   then sends packets: SOH + 128 bytes, or STX + 1024 bytes when 1K was asked, the receiver has
//   NAKed fewer than three packets of this file and at least 1024 bytes remain. A short last packet is
//   padded with EOFchar (0x1A). Each packet waits 10 s for ACK; a NAK resends it, the fourth NAK of
//   one packet ends the transfer (XY_RETRIES_ERROR). The first packet holds back its check bytes for
//   125 ms and drops what arrived meanwhile (receivers often send several start characters). After
//   the last packet EOT goes out, again each second up to 10 times, until ACKed.
//
//   Receiver: sends its start character every RxNakRate seconds (4) until a packet starts, then for
//   each packet reads number, complement, data and check, ACKs a good packet and NAKs a bad one (no
//   limit). A repeated packet (our ACK was lost) is ACKed and not written again; any other packet
//   number ends the transfer. When a packet's bytes stop coming, the receiver waits once (1.5 s) and
//   counts the rest of that packet as missing, so it fails its check and is NAKed. EOT is ACKed and
//   ends the file. The receiver writes whole packets, padding included.
//
//   Batch mode: packet 0 carries the file name and its size in decimal; the receiver creates that
//   name as a plain name in the current directory, never replacing a file, and writes only the
//   announced size; each file starts with the start character after packet 0's ACK, also when packet
//   0 comes again because its ACK was lost. After the last file the sender sends an empty packet 0.
//
//   Every end goes through SetXYerror: an error code of -100 or below tells the peer with three CAN
//   bytes; a CAN from the peer ends the transfer with XY_CANCELLED_ERROR. An abort sends nothing. A
//   failure records where it happened (which wait, which packet, what arrived: xyGetReason). The
//   engine formats diagnostic lines into a ring of 12 messages (xyGetMessage), gated by xyDebug;
//   failures are always queued.
//
// Results: 0 or a positive value is success; a negative value is an error code: the engine's
// -300..-318 (DriverErrors) or the serial library's (-1..-8, -100..-103).
#pragma once

#include "xmodem/xy_driver.h"
#include "xmodem/xy_record.h"

namespace serial {
class Clock;
}

inline constexpr int xyVersion = 0x0233;


// Acquire and release the one port the engine serves: 0, XY_ALREADY_ACTIVE_ERROR, XY_NOT_ACTIVE_ERROR.
int xyAcquire(int Port);
int xyRelease(int Port);
// Ends a running transfer with XY_ABORTED_ERROR at once, sending nothing to the peer; returns 0.
// Called by the thread that drives the engine.
int xyAbort(int Port);
// Asks the transfer to end as xyAbort does, from any thread: the wait in progress (or the next step)
// ends it, and xyDriver returns 0. A request made before xyStartTx/xyStartRx is forgotten by them.
int xyRequestAbort(int Port);
int xyDebug(int Level);  // returns the level set (Level & 3)
// Copy out at most Size characters, NUL included; xyGetMessage returns 1 when it took a message.
int xyGetFileName(char* Buffer, int Size);
int xyGetMessage(char* Buffer, int Size);
// Where the last transfer failed, in words ("no ACK for packet 3 within 10 s"); "" when it did not,
// or failed on the serial line (whose error LastWinError holds). Copied as xyGetFileName does.
int xyGetReason(char* Buffer, int Size);
int xyGetParameter(int Port, int Parameter);
int xySetParameter(int Port, int Parameter, int Value);

// The clock every wait of the engine is measured on (the system's monotonic clock unless replaced);
// a test passes its own. Returns the one in use before.
serial::Clock& xySetClock(serial::Clock& clock);

int DllEntryPoint();
int WEP();
