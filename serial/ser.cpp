// The serial library's portable part: the port table, argument checks, error codes and texts, the
// settings record and the rules around it. Everything the OS does is behind ser_platform.h.
#include "serial/ser.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "serial/arrival_queue.h"
#include "serial/devices.h"
#include "serial/exit_restore.h"
#include "serial/failure_kind.h"
#include "serial/net_address.h"
#include "serial/net_connect.h"
#include "serial/net_link.h"
#include "serial/net_ports.h"
#include "serial/pi_mutex.h"
#include "serial/read_ahead.h"
#include "serial/ser_platform.h"
#include "serial/wake_event.h"

using serial::platform::DeviceControl;
using serial::platform::LineCounters;
using serial::platform::OutputLine;
using serial::platform::SavedSettings;

const std::array<std::string_view, 8> PortErrors = {
    "Bad port ID", "Port already open", "Port not open", "Memory",
    "Default",     "Hardware",          "Byte size",     "BaudRate",
};
const std::array<std::string_view, 4> TORVELerrors = {"No data", "Range", "Aborted", "Win32Error"};

thread_local int LastWinError = 0;

namespace {

constexpr int INVALID_HANDLE = -1;

// The most SioRxClear reads in one call, so a line that never stops sending cannot hold it.
constexpr int RX_CLEAR_READS = 256;

struct PortRecord {
  int Handle = INVALID_HANDLE;
  unsigned char Status = 0;    // DtrMask/RtsMask: lines the library holds asserted
  unsigned char NextChar = 0;  // pushed-back byte, 0 = none
  DeviceControl DCB;
  SavedSettings OldSettings;  // the device's own settings, put back at close
  LineCounters Counters;      // line-error counters at the last SioStatus (or the open)
  std::string Path;           // the device opened
  std::string Failure;        // why the port is not usable: its last open or read failed
  int FailureError = 0;       // the errno of that failure
  std::unique_ptr<serial::NetLink> Net;  // a network port's connection (Handle is its socket)
};

std::array<PortRecord, NBR_PORTS> PortData;
bool Initialized = false;

constexpr std::size_t kReadAheadBytes = 1024 * 1024;
constexpr std::size_t kReaderChunk = 64 * 1024;

// A port's lock, its reader and what the reader has queued (read_ahead.h), apart from PortData,
// whose records are replaced whole.
struct Ahead {
  serial::PiMutex Lock;
  std::condition_variable_any Room;  // the queue has room again, or the reader is to stop
  std::thread Reader;
  serial::WakeEvent Stop;
  bool Stopping = false;
  std::unique_ptr<serial::ArrivalQueue> Queue;  // made for the port's first reader
  std::int64_t LastStamp = 0;                   // stamps of one port never go back
};

// At the end of the program every reader is stopped before the ports' state goes.
struct AheadTable {
  std::array<Ahead, NBR_PORTS> Ports;
  ~AheadTable() {
    for (int port = 0; port < NBR_PORTS; ++port) serial::stop_read_ahead(port);
  }
};
AheadTable Aheads;

std::atomic<serial::TrafficObserver*> Observer{nullptr};

unsigned BaudRateDefault = 9600;
int ParityDefault = NoParity;
int StopBitsDefault = OneStopBit;
int DataBitsDefault = WordLength8;

PortRecord& Record(int Port) { return PortData[static_cast<std::size_t>(Port)]; }

Ahead& AheadOf(int Port) { return Aheads.Ports[static_cast<std::size_t>(Port)]; }

// The port's lock (read_ahead.h says what it guards).
std::unique_lock<serial::PiMutex> Hold(int Port) { return std::unique_lock(AheadOf(Port).Lock); }

// Under the port's lock: the bytes its reader has queued.
std::size_t Queued(const Ahead& ahead) { return ahead.Queue ? ahead.Queue->bytes() : 0; }

// Under the port's lock: `time_us`, or the port's last stamp when that is later (the wall clock
// may be set back, and a read here may take bytes that arrived after a reader's stamp).
std::int64_t Stamp(Ahead& ahead, std::int64_t time_us) {
  ahead.LastStamp = std::max(ahead.LastStamp, time_us);
  return ahead.LastStamp;
}

void Report(int Port, bool sent, std::int64_t time_us, std::span<const std::uint8_t> bytes) {
  if (serial::TrafficObserver* observer = Observer.load(std::memory_order_acquire))
    observer->traffic(Port, sent, time_us, bytes);
}

int Win32Error(int err) {
  LastWinError = err;
  return TORVEL_WIN32ERR;
}

// VerifyPort, then the port must be open.
int CheckOpen(int Port) {
  if (const int rc = VerifyPort(Port); rc != TORVEL_OK) return rc;
  return Record(Port).Handle == INVALID_HANDLE ? IE_NOPEN : TORVEL_OK;
}

// A port is a tty or a network connection; these reach whichever it is.
int Apply(const PortRecord& rec) {
  return rec.Net ? rec.Net->apply(rec.DCB) : serial::platform::apply(rec.Handle, rec.DCB);
}
int SetLine(const PortRecord& rec, OutputLine line, bool on) {
  return rec.Net ? rec.Net->set_output_line(line, on) : serial::platform::set_output_line(rec.Handle, line, on);
}
int ModemStatus(const PortRecord& rec, int& bits) {
  return rec.Net ? rec.Net->modem_status(bits) : serial::platform::modem_status(rec.Handle, bits);
}
int Counters(const PortRecord& rec, LineCounters& counters) {
  return rec.Net ? rec.Net->line_counters(counters) : serial::platform::line_counters(rec.Handle, counters);
}
int SetBreak(const PortRecord& rec, bool on) {
  return rec.Net ? rec.Net->set_break(on) : serial::platform::set_break(rec.Handle, on);
}
int InputWaiting(const PortRecord& rec, int& count) {
  return rec.Net ? rec.Net->input_waiting(count) : serial::platform::input_waiting(rec.Handle, count);
}
long ReadSome(const PortRecord& rec, void* buffer, std::size_t size) {
  return rec.Net ? rec.Net->read_some(buffer, size) : serial::platform::read_some(rec.Handle, buffer, size);
}
int WaitInput(const PortRecord& rec, int wake_fd, int ms, bool& woken) {
  return rec.Net ? rec.Net->wait_input(wake_fd, ms, woken) : serial::platform::wait_input(rec.Handle, wake_fd, ms, woken);
}

// Applying a record may drop the output lines on some drivers; raise again the ones we hold.
void ReassertLines(const PortRecord& rec) {
  if (rec.Status & DtrMask) SetLine(rec, OutputLine::Dtr, true);
  if (rec.Status & RtsMask) SetLine(rec, OutputLine::Rts, true);
}

int OutputLineCommand(int Port, char Cmd, unsigned char mask, OutputLine line) {
  if (const int rc = CheckOpen(Port); rc != TORVEL_OK) return rc;
  const auto lock = Hold(Port);
  PortRecord& rec = Record(Port);
  switch (Cmd) {
    case 'S':
      rec.Status |= mask;
      return SetLine(rec, line, true) == 0 ? 1 : 0;
    case 'C':
      rec.Status &= static_cast<unsigned char>(~mask);
      return SetLine(rec, line, false) == 0 ? 1 : 0;
    case 'R':
      // Answered from Status, not the device: a pty has no lines to ask, yet the caller's choice
      // still stands and is re-asserted after every settings change.
      return rec.Status & mask;
    default: return TORVEL_RANGE;
  }
}

int ModemLine(int Port, int bit) {
  if (const int rc = CheckOpen(Port); rc != TORVEL_OK) return rc;
  const auto lock = Hold(Port);
  int status = 0;
  if (ModemStatus(Record(Port), status) != 0) return 0;
  return status & bit;
}

// How long a write of `size` bytes may wait for room: the time the bytes take on the line at the
// port's rate and character format, plus a second. Then it fails rather than hold its caller.
std::uint32_t WriteWaitMs(const DeviceControl& dcb, std::size_t size) {
  const std::uint64_t bits_per_char = 1 + static_cast<unsigned>(dcb.ByteSize) + (dcb.Parity != NoParity ? 1 : 0) +
                                      (dcb.StopBits == TwoStopBits ? 2 : 1);
  const std::uint64_t rate = std::max(dcb.BaudRate, 1u);
  const std::uint64_t line_ms = (size * bits_per_char * 1000 + rate - 1) / rate;
  // Past INT_MAX ms (24 days) a deadline could not be told from one that wrapped.
  return static_cast<std::uint32_t>(std::min<std::uint64_t>(line_ms + 1000, INT_MAX));
}

// A tty's reads and writes do not meet in the kernel: its write takes no lock, so one waiting for
// room never holds up the reader. A network link is one conversation, written under the lock.
int WriteDevice(int Port, const char* Buffer, std::size_t Size) {
  const PortRecord& rec = Record(Port);
  const std::uint32_t wait_ms = WriteWaitMs(rec.DCB, Size);
  if (!rec.Net) return serial::platform::write_all(rec.Handle, Buffer, Size, wait_ms);
  const auto lock = Hold(Port);
  return rec.Net->write(Buffer, Size, wait_ms);
}

// Written bytes are stamped when the write began.
int Write(int Port, const char* Buffer, std::size_t Size) {
  const std::int64_t time_us = serial::platform::wall_clock_us();
  const int err = WriteDevice(Port, Buffer, Size);
  if (err == 0) Report(Port, true, time_us, {reinterpret_cast<const std::uint8_t*>(Buffer), Size});
  return err;
}

// A read failed: the device has gone or broke. Its text stays with the port, for the user. It names
// the device opened, read from the port's own record: a transfer thread fails here while the UI
// thread may scan for devices.
int ReadFailed(int Port, int err) {
  PortRecord& rec = Record(Port);
  const std::string why =
      rec.Net ? rec.Net->lost_reason() : "the device stopped answering (" + std::string(std::strerror(err)) + ")";
  rec.Failure = rec.Path + ": " + why;
  rec.FailureError = err;
  return Win32Error(err);
}

// What a read that brought nothing means: nothing yet, or a device that has gone. A hung-up tty
// reads as 0 bytes with no errno, hence EIO.
int NothingRead(int Port, int nothing) {
  const PortRecord& rec = Record(Port);
  if (rec.Net) return rec.Net->gone() ? ReadFailed(Port, rec.Net->lost_error()) : nothing;
  return serial::platform::line_gone(rec.Handle) ? ReadFailed(Port, EIO) : nothing;
}

// Under the port's lock `lock`: reads the device itself (its reader has queued nothing). The
// bytes read are stamped now and reported once the lock is let go. The count, or as SioGets.
int ReadDevice(int Port, std::unique_lock<serial::PiMutex>& lock, std::span<std::uint8_t> into, std::int64_t& time_us) {
  const long n = ReadSome(Record(Port), into.data(), into.size());
  if (n < 0) return ReadFailed(Port, static_cast<int>(-n));
  if (n == 0) return NothingRead(Port, 0);
  time_us = Stamp(AheadOf(Port), serial::platform::wall_clock_us());
  lock.unlock();
  Report(Port, false, time_us, into.first(static_cast<std::size_t>(n)));
  return static_cast<int>(n);
}

// Under the port's lock: bytes its reader queued, up to `into`'s size, from one block (with its
// time) or across blocks. The room made wakes a reader waiting for it.
std::size_t TakeQueued(Ahead& ahead, std::span<std::uint8_t> into, std::int64_t* time_us) {
  const std::size_t n = time_us != nullptr ? ahead.Queue->take_block(into, *time_us) : ahead.Queue->take(into);
  ahead.Room.notify_one();
  return n;
}

// SioGets, and read_stamped when `time_us` is wanted: the byte pushed back, then what the reader
// queued (one block's worth for read_stamped), then the device.
int ReadInput(int Port, char* Buffer, unsigned Size, std::int64_t* time_us) {
  if (const int rc = CheckOpen(Port); rc != TORVEL_OK) return rc;
  auto lock = Hold(Port);
  PortRecord& rec = Record(Port);
  Ahead& ahead = AheadOf(Port);
  // No room: the pushed-back and queued bytes wait for the next read.
  if (Size == 0) return rec.NextChar != 0 || Queued(ahead) > 0 ? 0 : NothingRead(Port, 0);
  if (Buffer == nullptr) return TORVEL_RANGE;
  const std::span into(reinterpret_cast<std::uint8_t*>(Buffer), std::min(Size, static_cast<unsigned>(INT_MAX)));
  if (rec.NextChar != 0) {
    into[0] = std::exchange(rec.NextChar, 0);
    if (time_us != nullptr) *time_us = Stamp(ahead, serial::platform::wall_clock_us());
    return 1;
  }
  if (Queued(ahead) > 0) return static_cast<int>(TakeQueued(ahead, into, time_us));
  std::int64_t stamp = 0;
  const int n = ReadDevice(Port, lock, into, stamp);
  if (time_us != nullptr) *time_us = stamp;
  return n;
}

// ---- The reader (read_ahead.h) ----

// Waits until the queue has room, so that what the reader reads next fits (only the reader adds
// to it); false when it is to stop.
bool AwaitRoom(Ahead& ahead) {
  std::unique_lock lock(ahead.Lock);
  ahead.Room.wait(lock, [&ahead] { return ahead.Stopping || ahead.Queue->room() > 0; });
  return !ahead.Stopping;
}

// A network link may hold data it took from its socket while answering the server.
bool NetBuffered(int Port) {
  const auto lock = Hold(Port);
  int count = 0;
  return Record(Port).Net && InputWaiting(Record(Port), count) == 0 && count > 0;
}

// Waits until the port has input or has gone; false when the reader is told to stop, or the wait
// itself fails (the reads go on without a reader then).
bool AwaitInput(int Port, int fd) {
  for (;;) {
    if (NetBuffered(Port)) return true;
    bool woken = false;
    const int ready = serial::platform::wait_input(fd, AheadOf(Port).Stop.fd(), -1, woken);
    if (ready < 0 || woken) return false;
    if (ready > 0) return true;
  }
}

// Reads what has arrived into the queue, stamped `time_us`, and reports it; false once the device
// has gone (its failure stays with the port, for the caller's reads to report).
bool TakeArrival(int Port, std::int64_t time_us, std::vector<std::uint8_t>& chunk) {
  Ahead& ahead = AheadOf(Port);
  std::unique_lock lock(ahead.Lock);
  const std::size_t room = std::min(chunk.size(), ahead.Queue->room());
  const long n = ReadSome(Record(Port), chunk.data(), room);
  if (n < 0) {
    ReadFailed(Port, static_cast<int>(-n));
    return false;
  }
  // Nothing to read (a network link that had only Telnet commands) is not the device gone.
  if (n == 0) return NothingRead(Port, 0) == 0;
  const std::span<const std::uint8_t> block(chunk.data(), static_cast<std::size_t>(n));
  const std::int64_t stamp = Stamp(ahead, time_us);
  ahead.Queue->push(stamp, block);
  lock.unlock();
  Report(Port, false, stamp, block);
  return true;
}

// The reader's thread: each block is stamped the moment its wait ends, before it is read.
void ReadAheadLoop(int Port, int fd) {
  std::vector<std::uint8_t> chunk(kReaderChunk);
  Ahead& ahead = AheadOf(Port);
  while (AwaitRoom(ahead) && AwaitInput(Port, fd))
    if (!TakeArrival(Port, serial::platform::wall_clock_us(), chunk)) return;
}

// The server reports the rate the far port took; a rate it settled on instead is refused, as a rate
// a driver cannot make is (EINVAL for the caller's message).
int RateTaken(const PortRecord& rec) {
  if (rec.Net->rate_taken(rec.DCB.BaudRate)) return 1;
  errno = EINVAL;
  return 0;
}

int OpenFailed(PortRecord& rec, std::string why, int err) {
  rec.Failure = std::move(why);
  rec.FailureError = err;
  return Win32Error(err);
}

// The record of a port that has just opened on `path`: its lines lowered until the caller raises them, no
// failure, the error counters from now.
int Ready(PortRecord& rec, int fd, const std::string& path) {
  // Linux raises DTR and RTS on every open; a port opens with both lowered until the caller raises
  // them. A pty refuses, having no lines.
  rec.Handle = fd;
  rec.Path = path;
  SetLine(rec, OutputLine::Dtr, false);
  SetLine(rec, OutputLine::Rts, false);
  rec.Failure.clear();
  rec.FailureError = 0;
  rec.Counters = LineCounters{};
  Counters(rec, rec.Counters);
  return TORVEL_OK;
}

// A port bound to an address: its connection when there is one (a closed one taken back, or a new
// one ready); else why not, "connecting" while an attempt runs.
int OpenNetwork(int Port, const std::string& text) {
  PortRecord& rec = Record(Port);
  const serial::ParsedAddress parsed = serial::parse_net_address(text);
  if (!parsed.address) return OpenFailed(rec, text + ": " + parsed.error, EINVAL);
  serial::net::Opened opened = serial::net::open_connection(Port, *parsed.address);
  if (!opened.link) return OpenFailed(rec, text + ": " + opened.why, opened.error);
  rec.Net = std::move(opened.link);
  rec.Net->apply(rec.DCB);
  return Ready(rec, rec.Net->fd(), text);
}

}  // namespace

int VerifyPort(int Port) {
  // Once only, even when two threads make their first call together.
  static std::once_flag once;
  std::call_once(once, [] {
    for (PortRecord& rec : PortData) rec = PortRecord{};
    Initialized = true;
  });
  return Port < 0 || Port >= NBR_PORTS ? IE_BADID : TORVEL_OK;
}

int SioReset(int Port, int InQueue, int OutQueue) {
  // The kernel sizes its own tty buffers.
  static_cast<void>(InQueue);
  static_cast<void>(OutQueue);
  if (const int rc = VerifyPort(Port); rc != TORVEL_OK) return rc;
  PortRecord& rec = Record(Port);
  const std::string name = "COM" + std::to_string(Port + 1);
  if (rec.Handle != INVALID_HANDLE) {
    // Opening again would lose the open descriptor; the port stays as it is.
    rec.Failure = name + ": already open";
    rec.FailureError = EBUSY;
    return Win32Error(EBUSY);
  }

  serial::rescan_devices();
  const std::string path = serial::device_path(Port);
  if (path.empty()) {
    rec.Failure = name + ": no serial device";
    rec.FailureError = ENODEV;
    return Win32Error(ENODEV);
  }

  rec.DCB = DeviceControl{};
  rec.DCB.BaudRate = BaudRateDefault;
  rec.DCB.Parity = ParityDefault;
  rec.DCB.StopBits = StopBitsDefault;
  rec.DCB.ByteSize = DataBitsDefault;
  if (serial::is_network_address(path)) return OpenNetwork(Port, path);

  int fd = INVALID_HANDLE;
  if (const int err = serial::platform::open_line(path.c_str(), rec.DCB, fd, rec.OldSettings); err != 0)
    return OpenFailed(rec, path + ": " + std::strerror(err), err);
  serial::remember_for_exit(Port, fd, rec.OldSettings);
  return Ready(rec, fd, path);
}

int SioDone(int Port) {
  if (const int rc = CheckOpen(Port); rc != TORVEL_OK) return rc;
  serial::stop_read_ahead(Port);
  const auto lock = Hold(Port);
  // What the reader queued belongs to this session, as what waits in the kernel does.
  if (AheadOf(Port).Queue) AheadOf(Port).Queue->clear();
  PortRecord& rec = Record(Port);
  const int fd = rec.Handle;
  rec.Handle = INVALID_HANDLE;
  serial::forget_for_exit(Port);
  // A byte pushed back belongs to this session; it must not turn up after the next open.
  rec.NextChar = 0;
  if (rec.Net) {
    serial::net::hold_connection(Port, std::move(rec.Net));
    return 1;
  }
  return serial::platform::close_line(fd, rec.OldSettings) == 0 ? 1 : 0;
}

int SioBaud(int Port, unsigned BaudCode) {
  if (Port == -1) {
    BaudRateDefault = BaudCode;
    return TORVEL_OK;
  }
  if (const int rc = CheckOpen(Port); rc != TORVEL_OK) return rc;
  const auto lock = Hold(Port);
  PortRecord& rec = Record(Port);
  rec.DCB.BaudRate = BaudCode < BaudValue.size() ? BaudValue[BaudCode] : BaudCode;
  if (Apply(rec) != 0) return 0;
  if (rec.Net) return RateTaken(rec);
  // A driver may take a rate it cannot make and settle on another; only the read-back tells.
  unsigned rate = 0;
  if (serial::platform::line_rate(rec.Handle, rate) != 0) return 0;
  return rate == rec.DCB.BaudRate ? 1 : 0;
}

int SioParms(int Port, int Parity, int StopBits, int DataBits) {
  if (Port == -1) {
    ParityDefault = Parity;
    StopBitsDefault = StopBits;
    DataBitsDefault = DataBits;
    return TORVEL_OK;
  }
  if (const int rc = CheckOpen(Port); rc != TORVEL_OK) return rc;
  const auto lock = Hold(Port);
  PortRecord& rec = Record(Port);
  rec.DCB.Parity = Parity;
  rec.DCB.StopBits = StopBits;
  rec.DCB.ByteSize = DataBits;
  if (Apply(rec) == 0) ReassertLines(rec);
  return TORVEL_OK;
}

int SioFlow(int Port, char Cmd) {
  if (const int rc = CheckOpen(Port); rc != TORVEL_OK) return rc;
  const auto lock = Hold(Port);
  PortRecord& rec = Record(Port);
  DeviceControl& dcb = rec.DCB;
  switch (Cmd) {
    case 'N':
      dcb.fOutxCtsFlow = false;
      dcb.fRtsControl = serial::platform::RTS_CONTROL_DISABLE;
      dcb.fInX = dcb.fOutX = false;
      break;
    case 'H':
      dcb.fOutxCtsFlow = true;
      dcb.fRtsControl = serial::platform::RTS_CONTROL_HANDSHAKE;
      dcb.fInX = dcb.fOutX = false;
      break;
    case 'S':
      dcb.fOutxCtsFlow = false;
      dcb.fRtsControl = serial::platform::RTS_CONTROL_DISABLE;
      dcb.fInX = dcb.fOutX = true;
      break;
    default: break;
  }
  if (Apply(rec) == 0) ReassertLines(rec);
  return TORVEL_OK;
}

int SioDTR(int Port, char Cmd) { return OutputLineCommand(Port, Cmd, DtrMask, OutputLine::Dtr); }

int SioRTS(int Port, char Cmd) { return OutputLineCommand(Port, Cmd, RtsMask, OutputLine::Rts); }

int SioWinError(char* Buffer, int Size) {
  if (Buffer != nullptr && Size > 0) {
    const char* text = std::strerror(LastWinError);
    const std::size_t n = std::min(std::strlen(text), static_cast<std::size_t>(Size) - 1);
    std::memcpy(Buffer, text, n);
    Buffer[n] = '\0';
  }
  return LastWinError;
}

int SioInfo(char Parm) {
  switch (Parm) {
    case 'V':
    case '3': return TORVEL_VERSION;
    case 'I': return 1;
    default: return -1;
  }
}

int SioDebug(int Parm) {
  static_cast<void>(Parm);
  return 0;
}

int SioTimer() {
  // Wraps like a 32-bit tick count; callers compare by difference.
  return static_cast<int>(static_cast<std::uint32_t>(serial::platform::monotonic_ms()));
}

int SioPutc(int Port, char Byte) {
  if (const int rc = CheckOpen(Port); rc != TORVEL_OK) return rc;
  if (const int err = Write(Port, &Byte, 1); err != 0) return Win32Error(err);
  return TORVEL_OK;
}

int SioPuts(int Port, const char* Buffer, unsigned Size) {
  if (const int rc = CheckOpen(Port); rc != TORVEL_OK) return rc;
  if (Size == 0) return 0;
  // No buffer to send from, or a count the int result cannot report.
  if (Buffer == nullptr || Size > static_cast<unsigned>(INT_MAX)) return TORVEL_RANGE;
  if (const int err = Write(Port, Buffer, Size); err != 0) return Win32Error(err);
  return static_cast<int>(Size);
}

int SioGetc(int Port) {
  if (const int rc = CheckOpen(Port); rc != TORVEL_OK) return rc;
  auto lock = Hold(Port);
  PortRecord& rec = Record(Port);
  if (rec.NextChar != 0) {
    const int byte = rec.NextChar;
    rec.NextChar = 0;
    return byte;
  }
  std::uint8_t byte = 0;
  if (Queued(AheadOf(Port)) > 0) {
    TakeQueued(AheadOf(Port), std::span(&byte, 1), nullptr);
    return byte;
  }
  std::int64_t time_us = 0;
  const int n = ReadDevice(Port, lock, std::span(&byte, 1), time_us);
  if (n == 0) return TORVEL_NO_DATA;
  return n < 0 ? n : byte;
}

int SioGets(int Port, char* Buffer, unsigned Size) { return ReadInput(Port, Buffer, Size, nullptr); }

int SioUnGetc(int Port, char Chr) {
  if (const int rc = CheckOpen(Port); rc != TORVEL_OK) return rc;
  Record(Port).NextChar = static_cast<unsigned char>(Chr);
  return TORVEL_OK;
}

int SioRead(int Port, int Reg) {
  static_cast<void>(Reg);
  if (const int rc = CheckOpen(Port); rc != TORVEL_OK) return rc;
  return -1;
}

int SioRxQue(int Port) {
  if (const int rc = CheckOpen(Port); rc != TORVEL_OK) return rc;
  const auto lock = Hold(Port);
  int count = 0;
  if (InputWaiting(Record(Port), count) != 0) count = 0;
  return static_cast<int>(std::min<std::size_t>(static_cast<std::size_t>(count) + Queued(AheadOf(Port)), INT_MAX));
}

int SioTxQue(int Port) {
  if (const int rc = CheckOpen(Port); rc != TORVEL_OK) return rc;
  int count = 0;
  return serial::platform::output_waiting(Record(Port).Handle, count) == 0 ? count : 0;
}

int SioRxClear(int Port) {
  if (const int rc = CheckOpen(Port); rc != TORVEL_OK) return rc;
  const auto lock = Hold(Port);
  PortRecord& rec = Record(Port);
  rec.NextChar = 0;
  if (AheadOf(Port).Queue) {
    AheadOf(Port).Queue->clear();
    AheadOf(Port).Room.notify_one();
  }
  if (rec.Net) {
    rec.Net->purge_input();
    return TORVEL_OK;
  }
  char discard[4096];
  for (int reads = 0; reads < RX_CLEAR_READS; ++reads)
    if (serial::platform::read_some(rec.Handle, discard, sizeof discard) <= 0) break;
  return TORVEL_OK;
}

// Discards nothing: bytes already handed to SioPuts or SioPutc are sent.
int SioTxClear(int Port) { return CheckOpen(Port); }

int SioStatus(int Port, unsigned Mask) {
  if (const int rc = CheckOpen(Port); rc != TORVEL_OK) return rc;
  const auto lock = Hold(Port);
  PortRecord& rec = Record(Port);
  LineCounters now;
  if (Counters(rec, now) != 0) return 0;
  const LineCounters& was = rec.Counters;
  unsigned bits = 0;
  if (now.buf_overrun != was.buf_overrun) bits |= CE_RXOVER;
  if (now.overrun != was.overrun) bits |= CE_OVERRUN;
  if (now.parity != was.parity) bits |= CE_RXPARITY;
  if (now.frame != was.frame) bits |= CE_FRAME;
  if (now.brk != was.brk) bits |= CE_BREAK;
  rec.Counters = now;
  return static_cast<int>(bits & Mask);
}

int SioCTS(int Port) { return ModemLine(Port, MS_CTS_ON); }
int SioDSR(int Port) { return ModemLine(Port, MS_DSR_ON); }
int SioRI(int Port) { return ModemLine(Port, MS_RING_ON); }
int SioDCD(int Port) { return ModemLine(Port, MS_RLSD_ON); }

int SioBrkSig(int Port, char Cmd) {
  if (const int rc = CheckOpen(Port); rc != TORVEL_OK) return rc;
  const auto lock = Hold(Port);
  const PortRecord& rec = Record(Port);
  switch (Cmd) {
    case 'A': return SetBreak(rec, true) == 0 ? 1 : 0;
    case 'C': return SetBreak(rec, false) == 0 ? 1 : 0;
    case 'D': return 0;
    default: return TORVEL_RANGE;
  }
}

int SioWaitRx(int Port, int WakeFd, int Milliseconds) {
  if (const int rc = CheckOpen(Port); rc != TORVEL_OK) return rc;
  auto lock = Hold(Port);
  const PortRecord& rec = Record(Port);
  if (rec.NextChar != 0 || Queued(AheadOf(Port)) > 0) return 1;
  // A network link is read as it is waited on: it stays locked. A tty's wait only looks.
  if (!rec.Net) lock.unlock();
  bool woken = false;
  const int rc = WaitInput(rec, WakeFd, std::max(Milliseconds, 0), woken);
  if (rc < 0) return Win32Error(-rc);
  if (woken) return TORVEL_ABORTED;
  return rc;
}

namespace serial {

bool more_input_follows(int port, int taken) {
  // The most the line discipline holds for a reader (N_TTY's buffer less one).
  constexpr int kReadBuffer = 4095;
  constexpr int kRefillWaitMs = 2;
  // A network port's buffer is filled from its socket at every look, so nothing follows later.
  if (taken < kReadBuffer || CheckOpen(port) != TORVEL_OK || Record(port).Net) return false;
  // A reader may take the refill first: what it queued follows as well.
  const auto queued = [port] { return Queued(AheadOf(port)) > 0; };
  if (std::unique_lock lock = Hold(port); queued()) return true;
  bool woken = false;
  if (serial::platform::wait_input(Record(port).Handle, -1, kRefillWaitMs, woken) == 1) return true;
  const auto lock = Hold(port);
  return queued();
}

int native_handle(int port) {
  if (VerifyPort(port) != TORVEL_OK) return INVALID_HANDLE;
  return Record(port).Handle;
}

bool is_network_port(int port) { return is_network_address(device_path(port)); }

std::string network_note(int port) {
  if (CheckOpen(port) != TORVEL_OK || !Record(port).Net) return {};
  return Record(port).Net->note();
}

int open_port_waiting(int port, int ms) {
  const int rc = SioReset(port, 2048, 2048);
  if (rc != TORVEL_WIN32ERR || LastWinError != EINPROGRESS) return rc;
  net::wait_connection(port, ms);
  return SioReset(port, 2048, 2048);
}

std::string open_failure(int port) {
  if (VerifyPort(port) != TORVEL_OK) return {};
  const auto lock = Hold(port);  // a reader that finds the device gone writes it
  return Record(port).Failure;
}

int open_failure_error(int port) {
  if (VerifyPort(port) != TORVEL_OK) return 0;
  const auto lock = Hold(port);
  return Record(port).FailureError;
}

std::int64_t wall_clock_us() { return platform::wall_clock_us(); }

void observe_traffic(TrafficObserver* observer) { Observer.store(observer, std::memory_order_release); }

bool read_ahead(int port) {
  if (CheckOpen(port) != TORVEL_OK) return false;
  Ahead& ahead = AheadOf(port);
  if (ahead.Reader.joinable()) return true;
  {
    const auto lock = Hold(port);
    if (!ahead.Queue) ahead.Queue = std::make_unique<ArrivalQueue>(kReadAheadBytes);
    ahead.Stopping = false;
  }
  ahead.Stop.clear();
  try {
    ahead.Reader = std::thread(ReadAheadLoop, port, Record(port).Handle);
  } catch (const std::system_error&) {
    return false;
  }
  platform::raise_to_real_time(ahead.Reader);
  return true;
}

void stop_read_ahead(int port) {
  if (VerifyPort(port) != TORVEL_OK) return;
  Ahead& ahead = AheadOf(port);
  if (!ahead.Reader.joinable()) return;
  {
    const auto lock = Hold(port);
    ahead.Stopping = true;
  }
  ahead.Room.notify_all();
  ahead.Stop.raise();
  ahead.Reader.join();
  ahead.Stop.clear();
}

bool reading_ahead(int port) { return VerifyPort(port) == TORVEL_OK && AheadOf(port).Reader.joinable(); }

int read_stamped(int port, std::span<std::uint8_t> into, std::int64_t& time_us) {
  return ReadInput(port, reinterpret_cast<char*>(into.data()),
                   static_cast<unsigned>(std::min<std::size_t>(into.size(), INT_MAX)), &time_us);
}

}  // namespace serial
