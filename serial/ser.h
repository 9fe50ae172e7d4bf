// The serial library: ports addressed by number 0..15 (COM1..COM16).
//
// Every operation takes the port number first and returns an int: 0 or a positive count or flag on
// success, a negative code of the tables below on failure. Two threads may use the library at once as
// long as they use different ports: the last platform error is kept per thread.
#pragma once

#include <array>
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

// Open, close and line parameters.
int VerifyPort(int port);
int SioReset(int port, int in_queue, int out_queue);
int SioDone(int port);
int SioBaud(int port, unsigned baud_code);
int SioParms(int port, int parity, int stop_bits, int data_bits);
int SioFlow(int port, char cmd);
int SioDTR(int port, char cmd);
int SioRTS(int port, char cmd);
int SioWinError(char* buffer, int size);
int SioInfo(char parm);
int SioDebug(int parm);
int SioTimer();

// Byte I/O, queues and modem lines.
// Writes wait for room at most the bytes' time at the port's rate plus one second. SioPutc: 0, or
// -103 with LastWinError (ETIMEDOUT when there was no room in time). SioPuts: the count, or -103.
int SioPutc(int port, char byte);
int SioPuts(int port, const char* buffer, unsigned size);
int SioGetc(int port);
int SioGets(int port, char* buffer, unsigned size);
int SioUnGetc(int port, char chr);
int SioRead(int port, int reg);
int SioRxQue(int port);
int SioTxQue(int port);
int SioRxClear(int port);
int SioTxClear(int port);  // 0; discards nothing: what was handed to SioPuts is sent
int SioStatus(int port, unsigned mask);
int SioCTS(int port);
int SioDSR(int port);
int SioRI(int port);
int SioDCD(int port);
int SioBrkSig(int port, char cmd);

// Waits without using the CPU until a byte can be read from `port` (a byte pushed back with SioUnGetc
// counts), `wake_fd` becomes readable (-1: no wake descriptor), or `milliseconds` pass. 1 when a byte
// waits, or the device has gone (the next read reports it); 0 when the time passed; TORVEL_ABORTED
// when woken; IE_BADID/IE_NOPEN as every call; TORVEL_WIN32ERR if the wait itself failed.
int SioWaitRx(int port, int wake_fd, int milliseconds);
