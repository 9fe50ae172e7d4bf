// The serial library: ports addressed by number 0..15 (COM1..COM16).
//
// Every operation takes the port number first and returns an int. A negative result is a code of
// the tables below: every call on a port answers IE_BADID for a number out of range and IE_NOPEN for
// a port not open (VerifyPort and SioReset excepted), and TORVEL_WIN32ERR means the OS refused,
// its errno in LastWinError. What a call returns otherwise differs from call to call (a count, a
// flag of 1 or 0, a line's bit, always 0): each declaration says. Two threads may use the library
// at once as long as they use different ports: the last platform error is kept per thread.
#pragma once

#include <array>
#include <string>
#include <string_view>

inline constexpr int NBR_PORTS = 16;
inline constexpr int TORVEL_VERSION = 0x0232;

// Results.
inline constexpr int TORVEL_OK = 0;
inline constexpr int IE_BADID = -1;
inline constexpr int IE_OPEN = -2;
inline constexpr int IE_NOPEN = -3;
inline constexpr int IE_MEMORY = -4;
inline constexpr int IE_DEFAULT = -5;
inline constexpr int IE_HARDWARE = -6;
inline constexpr int IE_BYTESIZE = -7;
inline constexpr int IE_BAUDRATE = -8;
inline constexpr int TORVEL_NO_DATA = -100;
inline constexpr int TORVEL_RANGE = -101;
inline constexpr int TORVEL_ABORTED = -102;
inline constexpr int TORVEL_WIN32ERR = -103;

// Texts of the port errors -1..-8 (entry k for code -(k+1)) and the library errors -100..-103.
extern const std::array<std::string_view, 8> PortErrors;
extern const std::array<std::string_view, 4> TORVELerrors;

// Bits remembered in a port's Status for the output lines the library holds asserted.
inline constexpr unsigned char DtrMask = 0x01;
inline constexpr unsigned char RtsMask = 0x02;

// Rate codes 0..9 and their rates in bits per second.
inline constexpr std::array<unsigned, 10> BaudValue = {110,   300,   1200,  2400,  4800,
                                                       9600,  19200, 38400, 57600, 115200};
inline constexpr unsigned Baud9600 = 5;
inline constexpr unsigned Baud115200 = 9;

// Parity codes, stop-bit codes and data bits as SioParms takes them.
inline constexpr int NoParity = 0;
inline constexpr int OddParity = 1;
inline constexpr int EvenParity = 2;
inline constexpr int MarkParity = 3;
inline constexpr int SpaceParity = 4;
inline constexpr int OneStopBit = 0;
inline constexpr int One5StopBits = 1;
inline constexpr int TwoStopBits = 2;
inline constexpr int WordLength5 = 5;
inline constexpr int WordLength6 = 6;
inline constexpr int WordLength7 = 7;
inline constexpr int WordLength8 = 8;

// Input-line bits, as the modem-status word reports them.
inline constexpr int MS_CTS_ON = 0x10;
inline constexpr int MS_DSR_ON = 0x20;
inline constexpr int MS_RING_ON = 0x40;
inline constexpr int MS_RLSD_ON = 0x80;

// Line-error bits of SioStatus.
inline constexpr unsigned CE_RXOVER = 0x01;
inline constexpr unsigned CE_OVERRUN = 0x02;
inline constexpr unsigned CE_RXPARITY = 0x04;
inline constexpr unsigned CE_FRAME = 0x08;
inline constexpr unsigned CE_BREAK = 0x10;

// The platform error of the last failing call reported as TORVEL_WIN32ERR (errno), per thread.
extern thread_local int LastWinError;

// ---- Open, close and line parameters ----

// 0 for a number 0..15, else IE_BADID.
int VerifyPort(int port);
// Opens the port's device (the queue sizes are the kernel's): 0; IE_BADID; TORVEL_WIN32ERR when
// it is already open (EBUSY), has no device (ENODEV) or the OS refused (why: serial::open_failure).
int SioReset(int port, int in_queue, int out_queue);
// Closes the port, its own settings put back: 1, or 0 when the close itself failed (the port is
// closed either way).
int SioDone(int port);
// Sets the rate: a code 0..9 (BaudValue), or a higher value as bits per second. 1 when the device
// runs at that rate, 0 when it refused or settled on another. Port -1 sets the default for later
// opens and returns 0.
int SioBaud(int port, unsigned baud_code);
// Sets parity, stop bits and data bits: always 0 (a device that keeps another format is not told;
// read the line back to know). Port -1 sets the defaults for later opens.
int SioParms(int port, int parity, int stop_bits, int data_bits);
// Flow control 'N' none, 'H' RTS/CTS, 'S' XON/XOFF (any other: unchanged): always 0.
int SioFlow(int port, char cmd);
// DTR (RTS): 'S' raises and 'C' lowers it, 1 when the device took it, 0 when it has no such line
// (a pty); 'R' reads back what the library holds, DtrMask (RtsMask) or 0; TORVEL_RANGE for another
// command.
int SioDTR(int port, char cmd);
int SioRTS(int port, char cmd);
// LastWinError, its text copied into `buffer` (cut to `size` characters, NUL included).
int SioWinError(char* buffer, int size);
// 'V' or '3': TORVEL_VERSION; 'I': 1; anything else -1.
int SioInfo(char parm);
// 0.
int SioDebug(int parm);
// Milliseconds on a monotonic clock, wrapping like a 32-bit tick count: compare by difference.
int SioTimer();

// ---- Byte I/O, queues and modem lines ----

// Writes wait for room at most the bytes' time at the port's rate plus one second. SioPutc: 0, or
// TORVEL_WIN32ERR (ETIMEDOUT when there was no room in time). SioPuts: the count (0 for none), or
// TORVEL_WIN32ERR, or TORVEL_RANGE for no buffer or a count above INT_MAX.
int SioPutc(int port, char byte);
int SioPuts(int port, const char* buffer, unsigned size);
// The next byte 0..255 (a pushed-back one first); TORVEL_NO_DATA when none waits;
// TORVEL_WIN32ERR when the device has gone (why: serial::open_failure).
int SioGetc(int port);
// Up to `size` waiting bytes: their count, 0 when none wait; TORVEL_WIN32ERR when the device has
// gone; TORVEL_RANGE for no buffer.
int SioGets(int port, char* buffer, unsigned size);
// Pushes back one byte for the next read (a NUL counts as none): 0.
int SioUnGetc(int port, char chr);
// -1: there are no UART registers to read.
int SioRead(int port, int reg);
// Bytes waiting to be read, or to be sent; 0 when the device cannot tell.
int SioRxQue(int port);
int SioTxQue(int port);
// Discards what waits to be read (a line that never stops is read at most 1 MB a call): 0.
int SioRxClear(int port);
// 0; discards nothing: what was handed to SioPuts is sent.
int SioTxClear(int port);
// The line errors (CE_*) among `mask` seen since the last call or the open; 0 when the device
// keeps no counters (a pty).
int SioStatus(int port, unsigned mask);
// The input line's bit (MS_CTS_ON, MS_DSR_ON, MS_RING_ON, MS_RLSD_ON) when it is on, else 0 (also
// for a device without lines).
int SioCTS(int port);
int SioDSR(int port);
int SioRI(int port);
int SioDCD(int port);
// Break: 'A' asserts and 'C' clears it, 1 when the device took it, else 0; 'D' 0; any other
// command TORVEL_RANGE.
int SioBrkSig(int port, char cmd);

// Waits without using the CPU until a byte can be read from `port` (a byte pushed back with SioUnGetc
// counts), `wake_fd` becomes readable (-1: no wake descriptor), or `milliseconds` pass. 1 when a byte
// waits, or the device has gone (the next read reports it); 0 when the time passed; TORVEL_ABORTED
// when woken; IE_BADID/IE_NOPEN as every call; TORVEL_WIN32ERR if the wait itself failed.
int SioWaitRx(int port, int wake_fd, int milliseconds);

namespace serial {

// Why `port` is not usable: why its last open failed, or why its device stopped answering a read;
// "" while it works, or before any attempt.
std::string open_failure(int port);
// The errno behind open_failure(port); 0 when there is none.
int open_failure_error(int port);
// The file descriptor of an open port, -1 when the port is not open.
int native_handle(int port);

// Linux hands a reader at most one line-discipline buffer (4095 bytes) at a time and refills it
// from the driver's buffers a moment after a read. A reader that has just found the port's queue
// empty, having taken `taken` bytes since it last found it so, asks here whether more follow:
// after a full buffer this waits at most 2 ms for them; after less it answers false at once.
bool more_input_follows(int port, int taken);

}  // namespace serial
