// The XMODEM engine's codes and its one transfer record: outcomes and their texts, states, debug
// levels, parameter numbers, sizes, and the record xyList that a transfer fills.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

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
inline constexpr int XY_REASON_SIZE = 96;  // Reason, its NUL included

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
  bool NameRefused;        // the name given did not fit FileName: the transfer refuses to open it
  bool PacketShort;        // a byte of the current packet did not come within one wait
  bool SizeUnknown;        // the batch header announced no size: the file is written in whole packets
  int Stray;               // the last byte that came where another was awaited; -1 none
  char Reason[XY_REASON_SIZE];  // where a failed transfer failed: the wait, the packet, what came
  char FileName[XY_FILE_NAME_SIZE];
  char Buffer[XY_BUFFER_SIZE];
};

extern xyDataTypeTag xyList;
