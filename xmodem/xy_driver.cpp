// The sender's and receiver's steps.
#include "xmodem/xy_driver.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "serial/ser.h"
#include "xmodem/xy_engine.h"
#include "xmodem/xy_packet.h"

namespace {

constexpr std::uint32_t ONE_SEC = 1000;
constexpr std::uint32_t SIX_SECS = 6000;
constexpr std::uint32_t TEN_SECS = 10000;
constexpr std::uint32_t SIXTY_SECS = 60000;
constexpr std::uint32_t FIRST_CHECK_DELAY = 125;  // ms between the first packet's data and check
constexpr std::uint32_t CTS_POLL = 10;            // ms between looks at CTS
constexpr int MAX_STEPS = 9;
constexpr std::uint8_t MISSING_BYTE = 0x9C;  // what a byte that never came counts as

enum class Step { Go, Stop };

Step End(int Port, int Code) {
  SetXYerror(Port, Code);
  return Step::Stop;
}

// The step after FailWith has ended the transfer: return Ended(FailWith(Port, Code, "...", ...)).
Step Ended(int /*code*/) { return Step::Stop; }

// The file's plain name, short enough for a reason.
const char* Named() { return PlainName(xyList.FileName); }

bool CrcMode() { return xyList.NCGchar == static_cast<std::int8_t>(CRC_NCG); }

void Debug(int level, const char* text) {
  if (DebugLevel >= level) QueueMessage("%s", text);
}

// Waits for CTS before the next bytes when the line uses it, for at most ten seconds: a line whose
// CTS never comes back (or a device that has gone and reports no lines) ends the transfer.
bool WaitForCTS(int Port) {
  if (!xyList.FlowFlag) return true;
  const serial::Deadline limit(EngineClock(), TEN_SECS);
  while (SioCTS(Port) <= 0) {
    if (limit.expired()) {
      FailWith(Port, XY_TIMED_OUT_ERROR, "CTS stayed off for 10 s at packet %d", xyList.PacketNbr);
      return false;
    }
    if (!PauseFor(Port, CTS_POLL)) return false;
  }
  return true;
}

// A file descriptor the record can hold: the record uses 0 for "none".
int Keep(int fd) {
  if (fd != 0) return fd;
  const int moved = ::fcntl(fd, F_DUPFD_CLOEXEC, 1);
  ::close(fd);
  return moved;
}

// A FIFO would hold open() until its other end comes, beyond Abort's reach: the file is opened
// without waiting (a FIFO nobody reads fails with ENXIO, one nobody writes is then no regular file
// to send), and used as any file once open.
int OpenWithoutWaiting(const char* path, int flags) {
  const int fd = Keep(::open(path, flags | O_NONBLOCK | O_CLOEXEC, 0666));
  if (fd >= 0) ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  return fd;
}

bool WriteAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

// Reads up to `size` bytes, as many as the file still has; -1 on a read error.
long ReadUpTo(int fd, char* data, std::size_t size) {
  std::size_t got = 0;
  while (got < size) {
    const ssize_t n = ::read(fd, data + got, size - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return -1;
    if (n == 0) break;
    got += static_cast<std::size_t>(n);
  }
  return static_cast<long>(got);
}

void AddToCheck(std::uint8_t byte) {
  if (CrcMode())
    xyList.CheckSum = UpdateCRC(xyList.CheckSum, byte);
  else
    xyList.CheckSum = static_cast<std::uint16_t>((xyList.CheckSum + byte) & 0xFF);
}

// A name given to xyStartTx/xyStartRx that did not fit FileName is refused, never cut to another's.
Step RefusedName(int Port) {
  return Ended(FailWith(Port, XY_CANNOT_OPEN_ERROR, "the file's name is longer than %d characters",
                        XY_FILE_NAME_SIZE - 1));
}

// The file could not be opened: the OS's reason, or none named at all (the prompt was cancelled).
Step CannotOpen(int Port, int error) {
  if (xyList.FileName[0] == '\0') return Ended(FailWith(Port, XY_CANNOT_OPEN_ERROR, "no file was named"));
  return Ended(FailWith(Port, XY_CANNOT_OPEN_ERROR, "%s: %s", Named(), std::strerror(error)));
}

// --- Sender -------------------------------------------------------------------------------------

// Why an open file cannot be sent, nullptr when it can. A shared lock keeps out writers that lock
// (Linux has no mandatory share modes). A file larger than the record's 32-bit size would be sent
// short and reported complete: refused instead.
const char* Unsendable(int fd) {
  struct stat info {};
  if (::flock(fd, LOCK_SH | LOCK_NB) != 0) return "is locked by another program";
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) return "is not a regular file";
  if (info.st_size > static_cast<off_t>(UINT32_MAX)) return "is larger than 4 GB";
  return nullptr;
}

Step TxNewFile(int Port) {
  xyList.EmptyFlag = xyList.BatchFlag && xyList.FileName[0] == '\0' && !xyList.NameRefused ? 1 : 0;
  xyList.BytesTX = 0;
  xyList.NAKs = 0;
  xyList.FileSize = 0;
  if (!xyList.EmptyFlag) {
    if (xyList.NameRefused) return RefusedName(Port);
    const int fd = OpenWithoutWaiting(xyList.FileName, O_RDONLY);
    if (fd < 0) return CannotOpen(Port, errno);
    xyList.Handle = fd;
    if (const char* why = Unsendable(fd)) return Ended(FailWith(Port, XY_CANNOT_OPEN_ERROR, "%s %s", Named(), why));
    xyList.FileSize = FileLength(fd);
  }
  xyList.State = TX_WAIT4_NCG;
  xyList.Return = TX_COMPUTE_PACKETS;
  xyList.TimeMark = TicksNow();
  if (DebugLevel >= DEBUG_ON)
    QueueMessage("COM%d:TX FileName='%s' Size=%ld ", Port + 1, xyList.FileName,
                 static_cast<long>(xyList.FileSize));
  return Step::Go;
}

Step TxWait4Ncg(int Port) {
  const int c = GetChar(Port);
  if (c == TORVEL_NO_DATA) {
    if (TicksSince(xyList.TimeMark) <= SIXTY_SECS) return Step::Stop;
    if (xyList.Stray < 0) return Ended(FailWith(Port, XY_NO_STARTUP_CHAR_ERROR, "nothing came for 60 s"));
    return Ended(FailWith(Port, XY_NO_STARTUP_CHAR_ERROR, "no NAK or 'C' for 60 s (last came %02X)", xyList.Stray));
  }
  if (c < 0) return Step::Stop;
  if (c == NAK || c == CRC_NCG) {
    xyList.NCGchar = static_cast<std::int8_t>(c);
    SioRxClear(Port);
    if (DebugLevel >= DEBUG_DETAIL) QueueMessage("[S=%d]", c);
    xyList.State = xyList.Return;
  } else {
    xyList.Stray = c;
  }
  return Step::Stop;
}

Step TxComputePackets() {
  xyList.FirstPacket = xyList.BatchFlag ? 0 : 1;
  xyList.PacketNbr = xyList.FirstPacket;
  xyList.State = TX_READ_DISK;
  return Step::Go;
}

// Packet 0 of a batch: name, NUL, size in decimal, zeros. A name whose path leaves no room for the
// size is sent without its path; a size cut short would make the receiver drop the file's end.
bool BatchHeader() {
  std::memset(xyList.Buffer, 0, SHORT_PACKET);
  char size[16];
  const int size_length = std::snprintf(size, sizeof size, "%ld", static_cast<long>(xyList.FileSize));
  const char* name = xyList.FileName;
  if (std::strlen(name) + 1 + static_cast<std::size_t>(size_length) >= SHORT_PACKET) name = PlainName(name);
  const std::size_t name_length = std::strlen(name);
  if (name_length + 1 + static_cast<std::size_t>(size_length) >= SHORT_PACKET) return false;
  std::memcpy(xyList.Buffer, name, name_length);
  std::memcpy(xyList.Buffer + name_length + 1, size, static_cast<std::size_t>(size_length));
  return true;
}

Step TxReadDisk(int Port) {
  if (xyList.EmptyFlag) {
    xyList.PacketSize = SHORT_PACKET;
    std::memset(xyList.Buffer, 0, SHORT_PACKET);
  } else if (xyList.PacketNbr == 0) {
    xyList.PacketSize = SHORT_PACKET;
    if (!BatchHeader())
      return Ended(FailWith(Port, XY_CANNOT_OPEN_ERROR, "the name and size of %s do not fit packet 0", Named()));
  } else {
    const std::uint32_t left = xyList.FileSize > xyList.BytesTX ? xyList.FileSize - xyList.BytesTX : 0;
    xyList.PacketSize =
        xyList.OneKflag && xyList.NAKs < 3 && left >= LONG_PACKET ? LONG_PACKET : SHORT_PACKET;
    const long got = ReadUpTo(xyList.Handle, xyList.Buffer, static_cast<std::size_t>(xyList.PacketSize));
    if (got < 0)
      return Ended(FailWith(Port, XY_DISK_READ_ERROR, "reading packet %d: %s", xyList.PacketNbr, std::strerror(errno)));
    if (got == 0)
      return Ended(FailWith(Port, XY_DISK_READ_ERROR, "%s ended before packet %d", Named(), xyList.PacketNbr));
    std::memset(xyList.Buffer + got, EOFchar, static_cast<std::size_t>(xyList.PacketSize - got));
  }
  xyList.State = TX_PREPARE_PACKET;
  return Step::Go;
}

Step TxPreparePacket() {
  xyList.PacketType = static_cast<std::int8_t>(xyList.PacketSize == LONG_PACKET ? STX : SOH);
  xyList.Attempt = 1;
  xyList.MaxTry = 5;
  xyList.State = TX_SEND_PACKET;
  return Step::Go;
}

Step TxSendPacket(int Port) {
  const PacketHeader header = header_for(xyList.PacketNbr, xyList.PacketSize);
  const char bytes[] = {static_cast<char>(header.type), static_cast<char>(header.number),
                        static_cast<char>(header.complement)};
  if (PutBlock(Port, bytes, sizeof bytes) < 0) return Step::Stop;
  xyList.CheckSum = 0;
  xyList.TimeMark = TicksNow();
  xyList.State = TX_SEND_DATA;
  return Step::Go;
}

// The data goes out in one write, or with CTS flow in runs that end before every 32nd byte, where
// the sender waits for CTS.
Step TxSendData(int Port) {
  const int size = xyList.PacketSize;
  for (int from = 0; from < size;) {
    if (from % 32 == 31 && !WaitForCTS(Port)) return Step::Stop;
    int end = size;
    if (xyList.FlowFlag) {
      const int next_wait = (from / 32) * 32 + 31;
      end = std::min(size, next_wait > from ? next_wait : next_wait + 32);
    }
    if (PutBlock(Port, xyList.Buffer + from, end - from) < 0) return Step::Stop;
    from = end;
  }
  for (int i = 0; i < size; ++i) {
    const auto byte = static_cast<std::uint8_t>(xyList.Buffer[i]);
    if (CrcMode())
      xyList.CheckSum = UpdateCRC(xyList.CheckSum, byte);
    else  // a 16-bit sum of the bytes taken as signed; its low byte is the checksum
      xyList.CheckSum = static_cast<std::uint16_t>(xyList.CheckSum + static_cast<std::int8_t>(byte));
  }
  xyList.State = TX_SEND_CHECKSUM;
  if (xyList.PacketNbr != xyList.FirstPacket) return Step::Go;
  xyList.TimeMark = TicksNow();
  return Step::Stop;
}

Step TxSendChecksum(int Port) {
  if (xyList.PacketNbr == xyList.FirstPacket) {
    const std::uint32_t waited = TicksSince(xyList.TimeMark);
    if (waited < FIRST_CHECK_DELAY && !PauseFor(Port, FIRST_CHECK_DELAY - waited)) return Step::Stop;
  }
  SioRxClear(Port);
  if (CrcMode()) {
    const char crc[] = {static_cast<char>(xyList.CheckSum >> 8), static_cast<char>(xyList.CheckSum & 0xFF)};
    if (PutBlock(Port, crc, sizeof crc) < 0) return Step::Stop;
    if (DebugLevel >= DEBUG_DETAIL)
      QueueMessage("COM%d: Sent packet %d Size=%d NCG=%c CRC=%x", Port + 1, xyList.PacketNbr,
                   xyList.PacketSize, xyList.NCGchar, xyList.CheckSum);
  } else {
    if (PutChar(Port, xyList.CheckSum & 0xFF) < 0) return Step::Stop;
    if (DebugLevel >= DEBUG_DETAIL)
      QueueMessage("COM%d: Sent packet %d Size=%d NCG=%c CS=%x", Port + 1, xyList.PacketNbr,
                   xyList.PacketSize, xyList.NCGchar, xyList.CheckSum & 0xFF);
  }
  xyList.TimeMark = TicksNow();
  xyList.State = TX_WAIT4_PACKET_ACK;
  return Step::Go;
}

Step TxWait4PacketAck(int Port) {
  const int c = GetChar(Port);
  if (c == TORVEL_NO_DATA) {
    if (TicksSince(xyList.TimeMark) <= TEN_SECS) return Step::Stop;
    return Ended(FailWith(Port, XY_TIMED_OUT_ERROR, "no ACK or NAK for packet %d within 10 s", xyList.PacketNbr));
  }
  if (c < 0) return Step::Stop;
  // Until a first packet has arrived whole, a receiver answers a bad one with its start character
  // again ('C'), as lrzsz's rx does: that is a NAK, not a receiver out of step.
  const bool asks_again = xyList.PacketNbr == xyList.FirstPacket && c == static_cast<std::uint8_t>(xyList.NCGchar);
  switch (asks_again ? NAK : c) {
    case CAN: return Ended(FailWith(Port, XY_CANCELLED_ERROR, "CAN in answer to packet %d", xyList.PacketNbr));
    case ACK:
      if (xyList.PacketNbr > 0) xyList.BytesTX += static_cast<std::uint32_t>(xyList.PacketSize);
      xyList.State = TX_CHECK4_RESTART;
      if (DebugLevel >= DEBUG_DETAIL) QueueMessage("COM%d: Packet %d ACKed", Port + 1, xyList.PacketNbr);
      return Step::Go;
    case NAK:
      ++xyList.Attempt;
      ++xyList.NAKs;
      if (DebugLevel >= DEBUG_ON) QueueMessage("COM%d: Packet %d NAKed", Port + 1, xyList.PacketNbr);
      SioRxClear(Port);
      if (xyList.Attempt < xyList.MaxTry) {
        xyList.State = TX_SEND_PACKET;
        return Step::Stop;
      }
      return Ended(FailWith(Port, XY_RETRIES_ERROR, "packet %d NAKed %d times", xyList.PacketNbr, xyList.Attempt - 1));
    default:
      if (DebugLevel >= DEBUG_ON)
        QueueMessage("COM%d:Packet %d expects ACK/NAK not %xH", Port + 1, xyList.PacketNbr,
                     static_cast<unsigned>(static_cast<std::int8_t>(c)));
      return Ended(FailWith(Port, XY_OUT_OF_SYNC_ERROR, "packet %d answered with %02X, not ACK or NAK",
                            xyList.PacketNbr, static_cast<unsigned>(c)));
  }
}

Step TxCheck4Restart(int Port) {
  if (xyList.PacketNbr == 0 && !xyList.EmptyFlag) {
    // The receiver asks again (start character) before packet 1 of a batch file.
    if (DebugLevel >= DEBUG_DETAIL) QueueMessage("COM%d: 'Restart' after packet 0", Port + 1);
    xyList.TimeMark = TicksNow();
    xyList.State = TX_WAIT4_NCG;
    xyList.Return = TX_NEXT_PACKET;
    return Step::Go;
  }
  xyList.State = TX_NEXT_PACKET;
  return Step::Go;
}

Step TxNextPacket(int Port) {
  if (xyList.BytesTX < xyList.FileSize) {
    ++xyList.PacketNbr;
    xyList.State = TX_READ_DISK;
    return Step::Go;
  }
  CloseFile();
  if (xyList.EmptyFlag) return End(Port, XY_NO_ERROR);
  xyList.MaxTry = 10;
  xyList.State = TX_SEND_EOT;
  return Step::Go;
}

Step TxSendEot(int Port) {
  xyList.TimeMark = TicksNow();
  if (PutChar(Port, EOT) < 0) return Step::Stop;
  Debug(DEBUG_DETAIL, "SEND: EOT");
  xyList.State = TX_WAIT4_EOT_ACK;
  return Step::Go;
}

Step TxWait4EotAck(int Port) {
  const int c = GetChar(Port);
  if (c == TORVEL_NO_DATA) {
    if (TicksSince(xyList.TimeMark) <= ONE_SEC) return Step::Go;
    if (--xyList.MaxTry <= 0) {
      if (DebugLevel >= DEBUG_ON) QueueMessage("COM%d: EOT was not ACKed", Port + 1);
      return Ended(FailWith(Port, XY_NO_EOT_ACK_ERROR, "EOT sent 10 times, never ACKed"));
    }
    xyList.State = TX_SEND_EOT;
    return Step::Go;
  }
  if (c < 0) return Step::Stop;
  if (c != ACK) return Step::Go;
  if (DebugLevel >= DEBUG_DETAIL) QueueMessage("COM%d: EOT was ACKed", Port + 1);
  if (!xyList.BatchFlag) return End(Port, XY_NO_ERROR);
  xyList.FileName[0] = '\0';
  xyList.State = TX_NEWFILE;
  return Step::Go;
}

// --- Receiver -----------------------------------------------------------------------------------

Step RxStart(int Port) {
  SioRxClear(Port);
  xyList.BytesRX = 0;
  xyList.State = RX_OPEN_FILE;
  return Step::Go;
}

Step RxOpenFile(int Port) {
  if (xyList.BatchFlag) {
    xyList.FirstPacket = 0;
  } else {
    xyList.FirstPacket = 1;
    if (xyList.NameRefused) return RefusedName(Port);
    const int fd = OpenWithoutWaiting(xyList.FileName, O_WRONLY | O_CREAT | O_TRUNC);
    if (fd < 0) return CannotOpen(Port, errno);
    xyList.Handle = fd;
  }
  xyList.State = RX_READY4_PACKETS;
  return Step::Go;
}

Step RxReady4Packets() {
  xyList.PacketNbr = xyList.FirstPacket;
  xyList.Return = RX_GET_PACKET;
  xyList.State = RX_SEND_NCG;
  return Step::Go;
}

Step RxSendNcg(int Port) {
  if (PutChar(Port, static_cast<std::uint8_t>(xyList.NCGchar)) < 0) return Step::Stop;
  xyList.TimeMark = TicksNow();
  xyList.State = RX_WAIT4_INCOMING;
  return Step::Stop;
}

Step RxWait4Incoming(int Port) {
  const int c = GetChar(Port);
  if (c == TORVEL_NO_DATA) {
    if (TicksSince(xyList.TimeMark) >= static_cast<std::uint32_t>(RxNakRate) * 1000)
      xyList.State = RX_SEND_NCG;
    return Step::Go;
  }
  if (c < 0) return Step::Stop;
  if (DebugLevel >= DEBUG_DETAIL) QueueMessage("COM%d: Received %c (%xH)", Port + 1, c, c);
  if (c == SOH || c == STX || c == CAN || c == EOT) {
    ReadyByte = c;
    xyList.State = xyList.Return;
  } else {
    xyList.State = RX_SEND_NCG;
  }
  return Step::Stop;
}

Step RxGetPacket() {
  xyList.TimeMark = TicksNow();
  xyList.State = RX_WAIT4_SOH_STX;
  return Step::Go;
}

Step RxWait4SohStx(int Port) {
  const int c = GetChar(Port);
  if (c == TORVEL_NO_DATA) {
    if (TicksSince(xyList.TimeMark) > static_cast<std::uint32_t>(RxNakRate) * 1000)
      return Ended(
          FailWith(Port, XY_TIMED_OUT_ERROR, "packet %d did not start within %d s", xyList.PacketNbr, RxNakRate));
    return Step::Stop;
  }
  if (c < 0) return Step::Stop;
  if (DebugLevel >= DEBUG_DETAIL) QueueMessage("[F=%d]", c);
  switch (c) {
    case SOH:
    case STX:
      xyList.PacketSize = c == STX ? LONG_PACKET : SHORT_PACKET;
      xyList.State = RX_GET_PACKET_NBR;
      break;
    case CAN: return Ended(FailWith(Port, XY_CANCELLED_ERROR, "CAN where packet %d should start", xyList.PacketNbr));
    case EOT:
      if (PutChar(Port, ACK) < 0) return Step::Stop;
      CloseFile();
      if (!xyList.BatchFlag) return End(Port, XY_NO_ERROR);
      xyList.State = RX_START;
      break;
    default:
      return Ended(FailWith(Port, XY_OUT_OF_SYNC_ERROR, "%02X came where packet %d should start",
                            static_cast<unsigned>(c), xyList.PacketNbr));
  }
  xyList.TimeMark = TicksNow();
  return Step::Stop;
}

// A header byte (`what` it is, for a reason): the byte, or -1 when the step is over (nothing yet, a
// time-out, an error).
int RxHeaderByte(int Port, Step& step, const char* what) {
  const int c = GetChar(Port);
  step = Step::Stop;
  if (c == TORVEL_NO_DATA) {
    if (TicksSince(xyList.TimeMark) > SIX_SECS)
      FailWith(Port, XY_TIMED_OUT_ERROR, "the %s of packet %d did not come within 6 s", what, xyList.PacketNbr);
    return -1;
  }
  if (c < 0) return -1;
  step = Step::Go;
  return c;
}

Step RxGetPacketNbr(int Port) {
  Step step;
  const int c = RxHeaderByte(Port, step, "number");
  if (c < 0) return step;
  if (DebugLevel >= DEBUG_DETAIL) QueueMessage("[P=%d]", c);
  xyList.GotPacketNbr = c;
  xyList.TimeMark = TicksNow();
  xyList.State = RX_GET_COMPLIMENT;
  return Step::Go;
}

Step RxGetCompliment(int Port) {
  Step step;
  const int c = RxHeaderByte(Port, step, "complement");
  if (c < 0) return step;
  xyList.GotPacketNbrCmp = c;
  if (xyList.GotPacketNbr + xyList.GotPacketNbrCmp != 255) {
    if (DebugLevel >= DEBUG_DETAIL)
      QueueMessage("Packet %d: Got=%d, Cmp=%d", xyList.PacketNbr, xyList.GotPacketNbr,
                   xyList.GotPacketNbrCmp);
    return Ended(FailWith(Port, XY_BAD_PACKET_NBR_ERROR, "packet %d came numbered %02X, complement %02X",
                          xyList.PacketNbr, static_cast<unsigned>(xyList.GotPacketNbr),
                          static_cast<unsigned>(xyList.GotPacketNbrCmp)));
  }
  xyList.CheckSum = 0;
  xyList.TimeMark = TicksNow();
  xyList.PacketShort = false;
  xyList.State = RX_GET_DATA;
  return Step::Go;
}

// The next byte of the packet's data or check. Once one has not come within a wait, the rest of the
// packet counts as missing without waiting again. -1: the transfer has ended.
int RxPacketByte(int Port) {
  if (xyList.PacketShort) return MISSING_BYTE;
  const int c = GetChar(Port);
  if (c == TORVEL_NO_DATA) {
    xyList.PacketShort = true;
    return MISSING_BYTE;
  }
  return c < 0 ? -1 : c;
}

Step RxGetData(int Port) {
  for (int i = 0; i < xyList.PacketSize; ++i) {
    const int c = RxPacketByte(Port);
    if (c < 0) return Step::Stop;
    xyList.Buffer[i] = static_cast<char>(c);
    AddToCheck(static_cast<std::uint8_t>(c));
  }
  xyList.State = RX_GET_CRC;
  return Step::Go;
}

Step RxGetCrc(int Port) {
  const int c = RxPacketByte(Port);
  if (c < 0) return Step::Stop;
  xyList.RxCheckSum = static_cast<std::uint16_t>(c);
  if (CrcMode()) {
    xyList.TimeMark = TicksNow();
    xyList.State = RX_GET_2ND_CRC;
  } else {
    xyList.State = RX_TEST_CRC;
  }
  return Step::Go;
}

Step RxGet2ndCrc(int Port) {
  const int c = RxPacketByte(Port);
  if (c < 0) return Step::Stop;
  xyList.RxCheckSum = static_cast<std::uint16_t>(xyList.RxCheckSum * 256 + c);
  xyList.State = RX_TEST_CRC;
  return Step::Go;
}

Step RxSendAck(int Port) {
  if (!WaitForCTS(Port)) return Step::Stop;
  PutChar(Port, ACK);
  return Step::Stop;
}

Step RxTestCrc(int Port) {
  if (DebugLevel >= DEBUG_DETAIL)
    QueueMessage("COM%d: Packet: Expected=%d, Got=%d: Size=%d %s: Expected=%x, Got=%x", Port + 1,
                 xyList.PacketNbr, xyList.GotPacketNbr, xyList.PacketSize, CrcMode() ? "CRC" : "CS",
                 xyList.CheckSum, xyList.RxCheckSum);
  // A packet with missing bytes never passes, even if its check happened to match.
  if (xyList.CheckSum == xyList.RxCheckSum && !xyList.PacketShort) {
    xyList.State = RX_PACKET_OK;
    return Step::Go;
  }
  if (!WaitForCTS(Port)) return Step::Stop;
  if (PutChar(Port, NAK) < 0) return Step::Stop;
  ++xyList.NAKs;
  QueueMessage("COM%d: NAK %d: Bad CS %x", Port + 1, xyList.PacketNbr, xyList.RxCheckSum);
  xyList.TimeMark = TicksNow();
  xyList.State = RX_WAIT4_SOH_STX;
  return Step::Stop;
}

// The plain name of a batch header in the current directory, or false when it gives none that is
// safe to create: no NUL within the packet, too long, or empty, "." or ".." once the path is gone.
bool BatchFileName() {
  const char* end = static_cast<const char*>(std::memchr(xyList.Buffer, '\0', SHORT_PACKET));
  if (end == nullptr) return false;
  if (!FileNameCopy(xyList.FileName, xyList.Buffer)) return false;
  const std::string_view name(xyList.FileName);
  return !name.empty() && name != "." && name != "..";
}

// The size after the name's NUL: its leading decimal digits, up to the 32 bits the record holds.
void BatchFileSize() {
  const char* digits = xyList.Buffer + std::strlen(xyList.Buffer) + 1;
  const char* end = xyList.Buffer + SHORT_PACKET;
  std::uint64_t size = 0;
  xyList.SizeUnknown = digits >= end || *digits < '0' || *digits > '9';
  for (; digits < end && *digits >= '0' && *digits <= '9'; ++digits)
    size = std::min<std::uint64_t>(size * 10 + static_cast<std::uint64_t>(*digits - '0'), UINT32_MAX);
  xyList.FileSize = static_cast<std::uint32_t>(size);
}

Step RxBatchHeader(int Port) {
  if (xyList.Buffer[0] == '\0') {  // the batch ends
    if (PutChar(Port, ACK) < 0) return Step::Stop;
    return End(Port, XY_NO_ERROR);
  }
  if (!BatchFileName()) return Ended(FailWith(Port, XY_CANNOT_OPEN_ERROR, "packet 0 names no file to create here"));
  // O_EXCL: a batch never replaces a file already there, nor follows a link planted in its name.
  const int fd = OpenWithoutWaiting(xyList.FileName, O_WRONLY | O_CREAT | O_EXCL);
  if (fd < 0) return CannotOpen(Port, errno);
  xyList.Handle = fd;
  BatchFileSize();
  ++xyList.PacketNbr;
  xyList.Return = RX_GET_PACKET;
  xyList.State = RX_SEND_NCG;
  return RxSendAck(Port);
}

Step RxPacketOk(int Port) {
  const int expected = xyList.PacketNbr & 0xFF;
  if (xyList.GotPacketNbr != expected) {
    // Our ACK of the packet before was lost and the sender sent it again: it is written already.
    if (xyList.PacketNbr > xyList.FirstPacket && xyList.GotPacketNbr == ((xyList.PacketNbr - 1) & 0xFF)) {
      if (DebugLevel >= DEBUG_ON)
        QueueMessage("COM%d: Packet %d repeated", Port + 1, xyList.GotPacketNbr);
      // A batch header sent again is answered as the first was: its sender then waits for the start
      // character before packet 1, and waiting for packet 1 instead would hold both ends.
      const bool header_again = xyList.BatchFlag && xyList.PacketNbr == 1;
      xyList.Return = RX_GET_PACKET;
      xyList.State = header_again ? RX_SEND_NCG : RX_GET_PACKET;
      return RxSendAck(Port);
    }
    return Ended(FailWith(Port, XY_BAD_PACKET_NBR_ERROR, "packet %d expected, number %02X came", xyList.PacketNbr,
                          static_cast<unsigned>(xyList.GotPacketNbr)));
  }
  if (xyList.BatchFlag && xyList.PacketNbr == 0) return RxBatchHeader(Port);

  std::uint32_t count = static_cast<std::uint32_t>(xyList.PacketSize);
  if (xyList.BatchFlag && !xyList.SizeUnknown)
    count = std::min(count, xyList.FileSize > xyList.BytesRX ? xyList.FileSize - xyList.BytesRX : 0);
  if (!WriteAll(xyList.Handle, xyList.Buffer, count))
    return Ended(FailWith(Port, XY_DISK_WRITE_ERROR, "writing packet %d: %s", xyList.PacketNbr, std::strerror(errno)));
  xyList.BytesRX += count;
  ++xyList.PacketNbr;
  xyList.State = RX_GET_PACKET;
  return RxSendAck(Port);
}

Step RunState(int Port) {
  switch (xyList.State) {
    case TX_START: xyList.State = TX_NEWFILE; return Step::Go;
    case TX_NEWFILE: return TxNewFile(Port);
    case TX_WAIT4_NCG: return TxWait4Ncg(Port);
    case TX_COMPUTE_PACKETS: return TxComputePackets();
    case TX_READ_DISK: return TxReadDisk(Port);
    case TX_PREPARE_PACKET: return TxPreparePacket();
    case TX_SEND_PACKET: return TxSendPacket(Port);
    case TX_SEND_DATA: return TxSendData(Port);
    case TX_SEND_CHECKSUM: return TxSendChecksum(Port);
    case TX_WAIT4_PACKET_ACK: return TxWait4PacketAck(Port);
    case TX_CHECK4_RESTART: return TxCheck4Restart(Port);
    case TX_NEXT_PACKET: return TxNextPacket(Port);
    case TX_SEND_EOT: return TxSendEot(Port);
    case TX_WAIT4_EOT_ACK: return TxWait4EotAck(Port);
    case RX_START: return RxStart(Port);
    case RX_OPEN_FILE: return RxOpenFile(Port);
    case RX_READY4_PACKETS: return RxReady4Packets();
    case RX_SEND_NCG: return RxSendNcg(Port);
    case RX_WAIT4_INCOMING: return RxWait4Incoming(Port);
    case RX_GET_PACKET: return RxGetPacket();
    case RX_WAIT4_SOH_STX: return RxWait4SohStx(Port);
    case RX_GET_PACKET_NBR: return RxGetPacketNbr(Port);
    case RX_GET_COMPLIMENT: return RxGetCompliment(Port);
    case RX_GET_DATA: return RxGetData(Port);
    case RX_GET_CRC: return RxGetCrc(Port);
    case RX_GET_2ND_CRC: return RxGet2ndCrc(Port);
    case RX_TEST_CRC: return RxTestCrc(Port);
    case RX_PACKET_OK: return RxPacketOk(Port);
    default:
      return Ended(FailWith(Port, XY_INTERNAL_ERROR, "bad state %d", xyList.State));
  }
}

// What xyStartTx and xyStartRx share: a fresh record for `name`, or a refused name.
void NewTransfer(int Port, const char* name) {
  CloseFile();
  xyList = xyDataTypeTag{};
  xyList.Stray = -1;
  if (name != nullptr) {
    // A name cut to fit would be another file's name: the transfer refuses it when it opens.
    if (std::strlen(name) < XY_FILE_NAME_SIZE)
      std::strcpy(xyList.FileName, name);
    else
      xyList.NameRefused = true;
  }
  xyList.FlowFlag = SioCTS(Port) > 0 ? 1 : 0;
  ReadyByte = -1;
  ForgetAbortRequest();
}

}  // namespace

int xyStartTx(int Port, const char* FileName, int OneKflag, int BatchFlag) {
  if (Port != ActivePort) return XY_NOT_ACTIVE_ERROR;
  if (DebugLevel >= DEBUG_ON)
    QueueMessage("COM%d:xyStartTx:FileName='%s' OneKflag=%d BatchFlag=%d", Port + 1,
                 FileName != nullptr ? FileName : "", OneKflag, BatchFlag);
  NewTransfer(Port, FileName);
  xyList.OneKflag = OneKflag;
  xyList.BatchFlag = static_cast<std::uint8_t>(BatchFlag != 0);
  xyList.Return = 0;
  xyList.State = TX_START;
  return 1;
}

int xyStartRx(int Port, const char* FileName, char NCGchar, int BatchFlag) {
  if (Port != ActivePort) return XY_NOT_ACTIVE_ERROR;
  if (DebugLevel >= DEBUG_ON)
    QueueMessage("COM%d:xyStartRx:FileName='%s' NCGchar=%c BatchFlag=%d", Port + 1,
                 FileName != nullptr ? FileName : "", NCGchar, BatchFlag);
  const bool no_name = FileName == nullptr || FileName[0] == '\0' || FileName[0] == ' ';
  NewTransfer(Port, no_name ? nullptr : FileName);
  xyList.BatchFlag = static_cast<std::uint8_t>(BatchFlag != 0);
  xyList.NCGchar = static_cast<std::int8_t>(NCGchar);
  xyList.Return = 0;
  xyList.State = RX_START;
  return 1;
}

int xyDriver(int Port) {
  ++DriverCount;
  if (Port != ActivePort) return XY_NOT_ACTIVE_ERROR;
  for (int step = 0; step < MAX_STEPS; ++step) {
    if (DebugLevel >= DEBUG_DETAIL && xyList.State != xyList.LastState) {
      QueueMessage("COM%d: xyDriver: Tics = %ld, State = %d", Port + 1, static_cast<long>(TicksNow()),
                   xyList.State);
      xyList.LastState = xyList.State;
    }
    if (xyList.State == XY_IDLE) return 0;
    if (AbortRequested(Port)) return 0;
    if (RunState(Port) == Step::Stop) break;
  }
  return xyList.DoneFlag ? 0 : 1;
}
