// The engine's services, shared by its calls (serxydrv.cpp) and its state machine (xy_driver.cpp):
// byte I/O on the port with its waits, the end of a transfer, the abort request, the message ring,
// the clock, and file helpers. Not for callers of the engine.
#pragma once

#include <cstdint>

#include "serial/deadline.h"
#include "xmodem/xy_record.h"

inline constexpr int GET_CHAR_LOOPS = 30;
inline constexpr int GET_CHAR_DELAY = 50;  // ms

// Engine-wide values (they live for the whole run).
extern int ActivePort;
extern int DebugLevel;
extern std::uint32_t GetCharCount;
extern std::uint32_t PutCharCount;
extern std::uint32_t DriverCount;
extern int LastGetChar;
extern int LastPutChar;
extern int RxNakRate;  // seconds
extern int EOFchar;
extern int ReadyByte;  // a byte pushed back for the next GetChar; below 1 means none

// The clock every wait is measured on, and the milliseconds since `mark` on it.
serial::Clock& EngineClock();
std::uint32_t TicksNow();
std::uint32_t TicksSince(std::uint32_t mark);
// Measures every wait on `clock` from now on; the clock in use before.
serial::Clock& ReplaceEngineClock(serial::Clock& clock);

// The next message slot, MESSAGE_SIZE characters; the oldest message goes when all 12 are taken.
char* GetMsgPtr();
// Queues one formatted message (cut to the slot).
void QueueMessage(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Takes the oldest message into Buffer (as CopyOut does); false when there is none.
bool TakeMessage(char* Buffer, int Size);
void ClearMessages();
// Copies src into dst (at most size characters, stopping after the NUL); the characters before it.
int CopyOut(char* dst, int size, const char* src);

int SetXYerror(int Port, int Code);
// SetXYerror with the failure's reason in words (which wait, which packet, what arrived), kept in
// the record and queued as a message of its own.
int FailWith(int Port, int Code, const char* format, ...) __attribute__((format(printf, 3, 4)));
int PutChar(int Port, int ch);
// PutChar for `count` bytes in one write: counted and remembered the same, far fewer system calls.
int PutBlock(int Port, const char* bytes, int count);
// A byte (0..255), TORVEL_NO_DATA after 1.5 s without one, or a negative code after the transfer
// has been ended (a serial error, or an abort request: XY_ABORTED_ERROR).
int GetChar(int Port);
// Waits `ms` without reading the port; false (and the transfer aborted) if an abort came first.
bool PauseFor(int Port, std::uint32_t ms);
// True (and the transfer aborted) when an abort has been asked for.
bool AbortRequested(int Port);
// From any thread: raises the abort request that the waits watch.
void RequestAbort();
void ForgetAbortRequest();
// Ends the transfer as an abort does: XY_ABORTED_ERROR, nothing sent to the peer, the request
// consumed so it cannot end the next transfer.
void EndAborted(int Port);

std::uint32_t FileLength(int Handle);
// The part of `path` after its last ':', '/' or '\\' (all of it if none).
const char* PlainName(const char* path);
// PlainName(Src) into Dst (XY_FILE_NAME_SIZE); false if it does not fit, leaving Dst empty.
bool FileNameCopy(char* Dst, const char* Src);
void CloseFile();
