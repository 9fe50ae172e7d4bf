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
//   announced size. After the last file the sender sends an empty packet 0.
//
//   Every end goes through SetXYerror: an error code of -100 or below tells the peer with three CAN
//   bytes; a CAN from the peer ends the transfer with XY_CANCELLED_ERROR. An abort sends nothing.
//   The engine formats diagnostic lines into a ring of 12 messages (xyGetMessage), gated by xyDebug.
//
// Results: 0 or a positive value is success; a negative value is an error code: the engine's
// -300..-318 (DriverErrors) or the serial library's (-1..-8, -100..-103).
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace serial {
class Clock;
}

inline constexpr int xyVersion = 0x0233;

// Outcomes.
inline constexpr int XY_NO_ERROR = 0;
inline constexpr int XY_UNKNOWN_ERROR = -300;
inline constexpr int XY_ALREADY_ACTIVE_ERROR = -301;
inline constexpr int XY_CANNOT_OPEN_ERROR = -302;
inline constexpr int XY_NO_STARTUP_CHAR_ERROR = -304;
inline constexpr int XY_DISK_READ_ERROR = -306;
inline constexpr int XY_NO_EOT_ACK_ERROR = -307;
inline constexpr int XY_INTERNAL_ERROR = -308;
inline constexpr int XY_CANCELLED_ERROR = -309;
inline constexpr int XY_OUT_OF_SYNC_ERROR = -310;
inline constexpr int XY_RETRIES_ERROR = -311;
inline constexpr int XY_BAD_PACKET_NBR_ERROR = -312;
inline constexpr int XY_TIMED_OUT_ERROR = -313;
inline constexpr int XY_NOT_ACTIVE_ERROR = -315;
inline constexpr int XY_DISK_WRITE_ERROR = -317;
inline constexpr int XY_ABORTED_ERROR = -318;

// Texts of -300..-318: entry k is the text of code -(300+k).
extern const std::array<std::string_view, 19> DriverErrors;
// The text of an outcome: the engine's codes (DriverErrors) and the serial library's (PortErrors,
// TORVELerrors); "" for any other code.
std::string_view xyErrorText(int Code);

// States; XY_IDLE when no transfer runs.
inline constexpr int XY_IDLE = 0;
inline constexpr int TX_START = 201;
inline constexpr int TX_NEWFILE = 202;
inline constexpr int TX_WAIT4_NCG = 203;
inline constexpr int TX_COMPUTE_PACKETS = 204;
inline constexpr int TX_READ_DISK = 205;
inline constexpr int TX_SEND_EOT = 206;
inline constexpr int TX_WAIT4_EOT_ACK = 207;
inline constexpr int TX_PREPARE_PACKET = 208;
inline constexpr int TX_SEND_PACKET = 209;
inline constexpr int TX_SEND_DATA = 210;
inline constexpr int TX_SEND_CHECKSUM = 211;
inline constexpr int TX_WAIT4_PACKET_ACK = 212;
inline constexpr int TX_CHECK4_RESTART = 213;
inline constexpr int TX_NEXT_PACKET = 214;
inline constexpr int RX_START = 300;
inline constexpr int RX_SEND_NCG = 301;
inline constexpr int RX_WAIT4_INCOMING = 302;
inline constexpr int RX_OPEN_FILE = 303;
inline constexpr int RX_READY4_PACKETS = 304;
inline constexpr int RX_GET_PACKET = 305;
inline constexpr int RX_PACKET_OK = 306;
inline constexpr int RX_WAIT4_SOH_STX = 307;
inline constexpr int RX_GET_DATA = 308;
inline constexpr int RX_GET_PACKET_NBR = 309;
inline constexpr int RX_GET_COMPLIMENT = 310;
inline constexpr int RX_GET_CRC = 311;
inline constexpr int RX_GET_2ND_CRC = 312;
inline constexpr int RX_TEST_CRC = 313;

// Debug levels of xyDebug.
inline constexpr int DEBUG_OFF = 0;
inline constexpr int DEBUG_ON = 1;
inline constexpr int DEBUG_DETAIL = 2;

// Parameters of xyGetParameter and xySetParameter.
inline constexpr int XY_GET_ERROR_CODE = 0;
inline constexpr int XY_GET_ERROR_STATE = 1;
inline constexpr int XY_GET_PACKET = 2;
inline constexpr int XY_GET_STATE = 3;
inline constexpr int XY_GET_FILE_SIZE = 4;
inline constexpr int XY_GET_NBR_NAKS = 5;
inline constexpr int XY_GET_DEBUG = 6;
inline constexpr int XY_GET_LAST_GET = 7;
inline constexpr int XY_GET_LAST_PUT = 8;
inline constexpr int XY_GET_GET_COUNT = 9;
inline constexpr int XY_GET_PUT_COUNT = 10;
inline constexpr int XY_GET_DRIVER_COUNT = 11;
inline constexpr int XY_GET_VERSION = 12;
inline constexpr int XY_SET_NAK_RATE = 52;
inline constexpr int XY_SET_EOF_CHAR = 53;

inline constexpr int NBR_MESSAGES = 12;
inline constexpr int MESSAGE_SIZE = 80;
inline constexpr int XY_FILE_NAME_SIZE = 128;  // FileName, its NUL included
inline constexpr int XY_BUFFER_SIZE = 1024;

// The transfer record; the engine has one, xyList, for the acquired port.
struct xyDataTypeTag {
  std::uint32_t FileSize;  // size of the file sent, or announced by a batch header
  std::uint32_t BytesTX;   // file bytes sent and ACKed
  std::uint32_t BytesRX;   // file bytes received and written
  std::uint32_t TimeMark;  // clock reading (ms) at which the current wait began
  int Attempt;             // transmissions of the current packet
  int ErrorCode;           // outcome: 0 success, else an error code
  int ErrorState;          // state in which the transfer ended in error (0 after an abort)
  int FirstPacket;         // number of the first packet: 1, or 0 in batch mode
  int Handle;              // file descriptor; 0 when none
  int GotPacketNbr;        // packet-number byte received
  int GotPacketNbrCmp;     // complement byte received
  int MaxTry;              // retry limit of the current phase
  int NAKs;                // NAKs received (sender) or sent (receiver)
  int OneKflag;            // sender may use 1024-byte packets
  int PacketNbr;           // packet being sent or expected
  int PacketSize;          // 128 or 1024
  int Return;              // state to enter after a start-character phase
  int State;               // current state; XY_IDLE when no transfer runs
  int LastState;           // state last shown by the step trace
  std::uint16_t RxCheckSum;
  std::uint16_t CheckSum;
  std::uint8_t BatchFlag;
  std::uint8_t DoneFlag;   // the transfer has ended
  std::uint8_t EmptyFlag;  // sender is sending the empty batch-end packet
  std::uint8_t FlowFlag;   // CTS flow control in use
  std::int8_t NCGchar;     // start character: NAK (checksum) or 'C' (CRC)
  std::int8_t PacketType;  // SOH or STX
  char FileName[XY_FILE_NAME_SIZE];
  char Buffer[XY_BUFFER_SIZE];
};

extern xyDataTypeTag xyList;

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
int xyGetParameter(int Port, int Parameter);
int xySetParameter(int Port, int Parameter, int Value);

// Start a transfer: 1, or XY_NOT_ACTIVE_ERROR for a port not acquired.
int xyStartTx(int Port, const char* FileName, int OneKflag, int BatchFlag);
int xyStartRx(int Port, const char* FileName, char NCGchar, int BatchFlag);
// Up to nine steps: 1 while the transfer runs, 0 when it has ended or none runs; XY_NOT_ACTIVE_ERROR.
int xyDriver(int Port);

// The clock every wait of the engine is measured on (the system's monotonic clock unless replaced);
// a test passes its own. Returns the one in use before.
serial::Clock& xySetClock(serial::Clock& clock);

int DllEntryPoint();
int WEP();
