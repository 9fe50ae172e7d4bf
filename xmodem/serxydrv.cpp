// The engine's calls: acquire and release, abort, debug level, messages, parameters and clock.
#include "xmodem/serxydrv.h"

#include <cstdint>

#include "serial/ser.h"
#include "xmodem/xy_engine.h"

int xyAcquire(int Port) {
  if (ActivePort != -1) return XY_ALREADY_ACTIVE_ERROR;
  ActivePort = Port;
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
  RequestAbort();
  return 0;
}

int xyDebug(int Level) {
  DebugLevel = Level & 3;
  return DebugLevel;
}

int xyGetFileName(char* Buffer, int Size) { return CopyOut(Buffer, Size, xyList.FileName); }

int xyGetReason(char* Buffer, int Size) { return CopyOut(Buffer, Size, xyList.Reason); }

int xyGetMessage(char* Buffer, int Size) { return TakeMessage(Buffer, Size) ? 1 : 0; }

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

serial::Clock& xySetClock(serial::Clock& clock) { return ReplaceEngineClock(clock); }

int DllEntryPoint() { return 1; }
int WEP() { return 1; }
