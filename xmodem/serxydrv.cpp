// The engine's record, acquire and release, message ring, CRC table, error codes and byte services.
#include "xmodem/serxydrv.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "serial/ser.h"
#include "serial/wake_event.h"
#include "xmodem/xy_engine.h"
#include "xmodem/xy_packet.h"

const std::array<std::string_view, 19> DriverErrors = {
    "Unknown error",
    "Already active",
    "Cannot open file",
    "File is empty",
    "Expected startup character (NAK or 'C') not received",
    "Startup character was not NAK or 'C'",
    "Disk read error",
    "EOT character not ACKed",
    "Internal error",
    "Cancelled by other end",
    "Out of sync",
    "Retry limit exceeded",
    "Bad packet number",
    "Timed out awaiting incoming character",
    "No such file",
    "Port not active",
    "Port range",
    "Disk write error",
    "Aborted by user",
};

xyDataTypeTag xyList{};
std::array<std::uint16_t, 256> CRCtable{};

int ActivePort = -1;
int DebugLevel = DEBUG_OFF;
std::uint32_t GetCharCount = 0;
std::uint32_t PutCharCount = 0;
std::uint32_t DriverCount = 0;
int LastGetChar = 0;
int LastPutChar = 0;
int RxNakRate = 4;
int EOFchar = 0x1A;
int ReadyByte = -1;

namespace {

struct MessageTag {
  char Text[MESSAGE_SIZE];
};
std::array<MessageTag, NBR_MESSAGES> MessageQueue{};
int MsgFront = 0;
int MsgCount = 0;

serial::Clock* ClockInUse = &serial::steady_clock();

// Raised by xyRequestAbort from any thread; polled beside the port by every wait.
serial::WakeEvent& AbortEvent() {
  static serial::WakeEvent event;
  return event;
}

// Copies src into dst (at most size characters, stopping after the NUL); the characters before it.
int CopyOut(char* dst, int size, const char* src) {
  if (dst == nullptr || size <= 0) return 0;
  const int length = static_cast<int>(std::strlen(src));
  if (length < size) {
    std::memcpy(dst, src, static_cast<std::size_t>(length) + 1);
    return length;
  }
  std::memcpy(dst, src, static_cast<std::size_t>(size));
  return size;
}

// xyAbort's effects; the wake is consumed so it cannot end the next transfer.
void EndAborted(int Port) {
  MsgFront = 0;
  MsgCount = 0;
  xyList.ErrorCode = XY_ABORTED_ERROR;
  xyList.DoneFlag = 1;
  xyList.ErrorState = 0;
  xyList.State = XY_IDLE;
  CloseFile();
  SioRxClear(Port);
  AbortEvent().clear();
}

}  // namespace

std::string_view xyErrorText(int Code) {
  if (Code <= -300 && Code >= -318) return DriverErrors[static_cast<std::size_t>(-300 - Code)];
  if (Code <= -100 && Code >= -103) return TORVELerrors[static_cast<std::size_t>(-100 - Code)];
  if (Code <= -1 && Code >= -8) return PortErrors[static_cast<std::size_t>(-1 - Code)];
  return {};
}

serial::Clock& EngineClock() { return *ClockInUse; }
std::uint32_t TicksNow() { return ClockInUse->now_ms(); }
std::uint32_t TicksSince(std::uint32_t mark) { return ClockInUse->now_ms() - mark; }

serial::Clock& xySetClock(serial::Clock& clock) {
  serial::Clock& before = *ClockInUse;
  ClockInUse = &clock;
  return before;
}

char* GetMsgPtr() {
  const int slot = (MsgFront + MsgCount) % NBR_MESSAGES;
  if (MsgCount == NBR_MESSAGES)
    MsgFront = (MsgFront + 1) % NBR_MESSAGES;
  else
    ++MsgCount;
  return MessageQueue[static_cast<std::size_t>(slot)].Text;
}

void QueueMessage(const char* format, ...) {
  char* slot = GetMsgPtr();
  va_list args;
  va_start(args, format);
  // A longer line (a long file name) is cut to the slot's 79 characters.
  std::vsnprintf(slot, MESSAGE_SIZE, format, args);
  va_end(args);
}

void CloseFile() {
  if (xyList.Handle > 0) ::close(xyList.Handle);
  xyList.Handle = 0;
}

int SetXYerror(int Port, int Code) {
  const int failed_in = xyList.State;
  xyList.ErrorCode = Code;
  xyList.DoneFlag = 1;
  xyList.State = XY_IDLE;
  if (Code == XY_NO_ERROR) return 0;
  // The state the error arose in tells more than the idle state it leaves.
  xyList.ErrorState = failed_in;
  if (Code <= TORVEL_NO_DATA)
    for (int i = 0; i < 3; ++i) SioPutc(Port, static_cast<char>(CAN));
  SioRxClear(Port);
  CloseFile();
  const char* family = Code <= -300 ? "ERROR" : Code <= -100 ? "Torvel Error" : "Port Error";
  std::string_view text = xyErrorText(Code);
  if (text.empty()) text = "Unknown error";
  QueueMessage("!COM%d: %s %d (%.*s) @ State=%d", Port + 1, family, Code, static_cast<int>(text.size()),
               text.data(), xyList.LastState);
  return Code;
}

int PutChar(int Port, int ch) {
  const int rc = SioPutc(Port, static_cast<char>(ch));
  if (rc < 0) return SetXYerror(Port, rc);
  LastPutChar = ch & 0xFF;
  ++PutCharCount;
  return rc;
}

int PutBlock(int Port, const char* bytes, int count) {
  if (count <= 0) return 0;
  const int rc = SioPuts(Port, bytes, static_cast<unsigned>(count));
  if (rc < 0) return SetXYerror(Port, rc);
  LastPutChar = static_cast<std::uint8_t>(bytes[count - 1]);
  PutCharCount += static_cast<std::uint32_t>(count);
  return 0;
}

bool AbortRequested(int Port) {
  if (!AbortEvent().raised()) return false;
  EndAborted(Port);
  return true;
}

namespace {

// One read: a byte, TORVEL_NO_DATA, or an error that has ended the transfer.
int TakeByte(int Port) {
  int rc;
  if (ReadyByte >= 1) {
    rc = ReadyByte;
    ReadyByte = -1;
  } else {
    rc = SioGetc(Port);
  }
  if (rc >= 0) {
    ++GetCharCount;
    LastGetChar = rc;
    return rc;
  }
  if (rc != TORVEL_NO_DATA) SetXYerror(Port, rc);
  return rc;
}

}  // namespace

int GetChar(int Port) {
  if (const int rc = TakeByte(Port); rc != TORVEL_NO_DATA) return rc;
  // Slices of 50 ms, each a poll() on the port and the abort event, for 30 slices in all.
  const serial::Deadline wait(EngineClock(), GET_CHAR_LOOPS * GET_CHAR_DELAY);
  for (;;) {
    const int slice = static_cast<int>(std::min<std::uint32_t>(GET_CHAR_DELAY, wait.left()));
    const int ready = SioWaitRx(Port, AbortEvent().fd(), slice);
    if (ready == TORVEL_ABORTED) {
      EndAborted(Port);
      return XY_ABORTED_ERROR;
    }
    if (ready < 0) return SetXYerror(Port, ready);
    if (ready > 0)
      if (const int rc = TakeByte(Port); rc != TORVEL_NO_DATA) return rc;
    if (wait.expired()) return TORVEL_NO_DATA;
  }
}

bool PauseFor(int Port, std::uint32_t ms) {
  const serial::Deadline pause(EngineClock(), ms);
  while (!pause.expired()) {
    AbortEvent().wait(static_cast<int>(std::min<std::uint32_t>(GET_CHAR_DELAY, pause.left())));
    if (AbortRequested(Port)) return false;
  }
  return !AbortRequested(Port);
}

std::uint32_t FileLength(int Handle) {
  const off_t here = ::lseek(Handle, 0, SEEK_CUR);
  const off_t end = ::lseek(Handle, 0, SEEK_END);
  ::lseek(Handle, here, SEEK_SET);
  // The record holds 32 bits; a larger file is refused where it is opened.
  return end < 0 ? 0 : static_cast<std::uint32_t>(end);
}

const char* PlainName(const char* path) {
  const char* name = path;
  for (const char* p = path; *p != '\0'; ++p)
    if (*p == ':' || *p == '/' || *p == '\\') name = p + 1;
  return name;
}

bool FileNameCopy(char* Dst, const char* Src) {
  const char* name = PlainName(Src);
  Dst[0] = '\0';
  const std::size_t length = std::strlen(name);
  if (length >= XY_FILE_NAME_SIZE) return false;
  std::memcpy(Dst, name, length + 1);
  return true;
}

int xyAcquire(int Port) {
  if (ActivePort != -1) return XY_ALREADY_ACTIVE_ERROR;
  ActivePort = Port;
  for (std::size_t i = 0; i < CRCtable.size(); ++i)
    CRCtable[i] = CalcTable(static_cast<std::uint16_t>(i), POLY, 0);
  return 0;
}

int xyRelease(int Port) {
  static_cast<void>(Port);  // releases whatever is acquired
  if (ActivePort == -1) return XY_NOT_ACTIVE_ERROR;
  ActivePort = -1;
  return 0;
}

int xyAbort(int Port) {
  EndAborted(Port);
  return 0;
}

int xyRequestAbort(int Port) {
  static_cast<void>(Port);  // there is one transfer
  AbortEvent().raise();
  return 0;
}

void ForgetAbortRequest() { AbortEvent().clear(); }

int xyDebug(int Level) {
  DebugLevel = Level & 3;
  return DebugLevel;
}

int xyGetFileName(char* Buffer, int Size) { return CopyOut(Buffer, Size, xyList.FileName); }

int xyGetMessage(char* Buffer, int Size) {
  if (MsgCount == 0) return 0;
  CopyOut(Buffer, Size, MessageQueue[static_cast<std::size_t>(MsgFront)].Text);
  MsgFront = (MsgFront + 1) % NBR_MESSAGES;
  --MsgCount;
  return 1;
}

int xyGetParameter(int Port, int Parameter) {
  switch (Parameter) {
    case XY_GET_DEBUG: return 0;  // a value no call sets
    case XY_GET_LAST_GET: return static_cast<std::int8_t>(LastGetChar);
    case XY_GET_LAST_PUT: return static_cast<std::int8_t>(LastPutChar);
    case XY_GET_GET_COUNT: return static_cast<int>(GetCharCount);
    case XY_GET_PUT_COUNT: return static_cast<int>(PutCharCount);
    case XY_GET_DRIVER_COUNT: return static_cast<int>(DriverCount);
    case XY_GET_VERSION: return xyVersion;
    default: break;
  }
  if (Port != ActivePort) return XY_NOT_ACTIVE_ERROR;
  switch (Parameter) {
    case XY_GET_ERROR_CODE: return xyList.ErrorCode;
    case XY_GET_ERROR_STATE: return xyList.ErrorState;
    case XY_GET_PACKET: return xyList.PacketNbr;
    case XY_GET_STATE: return xyList.State;
    case XY_GET_FILE_SIZE: return static_cast<int>(xyList.FileSize);
    case XY_GET_NBR_NAKS: return xyList.NAKs;
    default: return -1;
  }
}

int xySetParameter(int Port, int Parameter, int Value) {
  static_cast<void>(Port);
  switch (Parameter) {
    case XY_SET_NAK_RATE:
      if (Value < 1 || Value > 10) return TORVEL_RANGE;
      RxNakRate = Value;
      return RxNakRate;
    case XY_SET_EOF_CHAR:
      EOFchar = Value & 0xFF;
      return static_cast<std::int8_t>(EOFchar);
    default: return -1;
  }
}

int DllEntryPoint() { return 1; }
int WEP() { return 1; }
