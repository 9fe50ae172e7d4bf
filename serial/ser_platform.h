// The operating-system side of the serial library, kept small so the port table, argument checks
// and error codes stay in one portable file (ser.cpp). One implementation per OS: ser_linux.cpp.
//
// Every call that can fail returns 0 on success or the OS error number (errno), so the caller
// decides what becomes LastWinError and what is a plain 0/1 result.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <thread>

namespace serial::platform {

// How the device-control record drives RTS.
inline constexpr int RTS_CONTROL_DISABLE = 0;
inline constexpr int RTS_CONTROL_ENABLE = 1;
inline constexpr int RTS_CONTROL_HANDSHAKE = 2;

// The device-control record of one port: everything the library sets on a line. Each change is
// written here first and the record is then applied whole, so the device never holds a mix of old
// and new settings that the record does not describe.
struct DeviceControl {
  unsigned BaudRate = 9600;  // bits per second
  int ByteSize = 8;          // 5..8
  int Parity = 0;            // 0..4: none, odd, even, mark, space
  int StopBits = 0;          // 0 one, 1 one and a half, 2 two
  bool fOutxCtsFlow = false;
  int fRtsControl = RTS_CONTROL_DISABLE;
  bool fInX = false;
  bool fOutX = false;
  unsigned char XonChar = 0x11;
  unsigned char XoffChar = 0x13;
};

// The device's own settings as found at open, put back at close. Its layout belongs to the
// platform file, which checks at compile time that its record fits.
struct SavedSettings {
  alignas(8) std::array<unsigned char, 64> bytes{};
};

// Line-error counters of the driver; SioStatus reports which of them moved.
struct LineCounters {
  int buf_overrun = 0;
  int overrun = 0;
  int parity = 0;
  int frame = 0;
  int brk = 0;
};

enum class OutputLine { Dtr, Rts };

// Opens `path` for this program alone, saves its settings and puts it in raw mode with `dcb`.
// On failure nothing stays open.
int open_line(const char* path, const DeviceControl& dcb, int& fd, SavedSettings& saved);
// Puts the saved settings back (best effort) and closes; the result is close()'s.
int close_line(int fd, const SavedSettings& saved);
// Puts the saved settings back and lets go of the exclusive hold, leaving the line open; only
// async-signal-safe calls (best effort: a device that has gone refuses both).
void put_back(int fd, const SavedSettings& saved);
// Applies the whole record.
int apply(int fd, const DeviceControl& dcb);
// The rate the device reports now, in bits per second.
int line_rate(int fd, unsigned& rate);
// The settings the device holds now, read back into a record (rate, character format, flow).
int line_settings(int fd, DeviceControl& dcb);

int set_output_line(int fd, OutputLine line, bool on);
// The input lines as the MS_*_ON bits.
int modem_status(int fd, int& ms_bits);
int set_break(int fd, bool on);
int input_waiting(int fd, int& count);
int output_waiting(int fd, int& count);
int line_counters(int fd, LineCounters& counters);

// Reads what is waiting, never waiting itself: the count (0 when nothing), or -errno.
long read_some(int fd, void* buffer, std::size_t size);
// True when the device has gone (hung up, unplugged, closed at the far end).
bool line_gone(int fd);
// Returns once the kernel has taken every byte, or ETIMEDOUT when it had no room for them within
// `wait_ms` milliseconds.
int write_all(int fd, const void* buffer, std::size_t size, std::uint32_t wait_ms);

// The UART type the serial driver reports for `path` (0 = none), opening the device to ask.
int uart_type(const char* path, int& type);

std::int64_t monotonic_ms();
// Microseconds since 1970 by the wall clock.
std::int64_t wall_clock_us();

// Asks for the lowest real-time priority for `thread`: false where the system refuses it.
bool raise_to_real_time(std::thread& thread);

// Blocks until `fd` has input (or has gone), `wake_fd` (-1: none) is readable, or `ms` pass (a
// negative `ms`: no limit).
// 1 when `fd` is ready, 0 otherwise (`woken` tells a wake from the time passing), or -errno.
int wait_input(int fd, int wake_fd, int ms, bool& woken);

}  // namespace serial::platform
