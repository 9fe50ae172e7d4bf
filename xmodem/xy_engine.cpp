#include "xmodem/xy_engine.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "serial/ser.h"
#include "serial/wake_event.h"
#include "xmodem/xy_packet.h"

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

// ---- Clock ----

serial::Clock& EngineClock() { return *ClockInUse; }
std::uint32_t TicksNow() { return ClockInUse->now_ms(); }
std::uint32_t TicksSince(std::uint32_t mark) { return ClockInUse->now_ms() - mark; }

serial::Clock& ReplaceEngineClock(serial::Clock& clock) {
  serial::Clock& before = *ClockInUse;
  ClockInUse = &clock;
  return before;
}

// ---- Message ring ----

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

bool TakeMessage(char* Buffer, int Size) {
  if (MsgCount == 0) return false;
  CopyOut(Buffer, Size, MessageQueue[static_cast<std::size_t>(MsgFront)].Text);
  MsgFront = (MsgFront + 1) % NBR_MESSAGES;
  --MsgCount;
  return true;
}

void ClearMessages() {
  MsgFront = 0;
  MsgCount = 0;
}

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

// ---- The end of a transfer ----

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
  if (xyList.Reason[0] != '\0') QueueMessage("!COM%d: %s", Port + 1, xyList.Reason);
  return Code;
}

int FailWith(int Port, int Code, const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::vsnprintf(xyList.Reason, sizeof xyList.Reason, format, args);
  va_end(args);
  return SetXYerror(Port, Code);
}

void EndAborted(int Port) {
  ClearMessages();
  xyList.ErrorCode = XY_ABORTED_ERROR;
  xyList.DoneFlag = 1;
  xyList.ErrorState = 0;
  xyList.State = XY_IDLE;
  CloseFile();
  SioRxClear(Port);
  AbortEvent().clear();
}

bool AbortRequested(int Port) {
  if (!AbortEvent().raised()) return false;
  EndAborted(Port);
  return true;
}

void RequestAbort() { AbortEvent().raise(); }

void ForgetAbortRequest() { AbortEvent().clear(); }

// ---- Bytes on the port ----

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

// ---- Files ----

void CloseFile() {
  if (xyList.Handle > 0) ::close(xyList.Handle);
  xyList.Handle = 0;
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
