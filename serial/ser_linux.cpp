// The serial library's platform side on Linux: termios2 and tty ioctls.
//
// termios2 (TCGETS2/TCSETS2, BOTHER) comes from <asm/termbits.h>, through ser_linux_termios.h;
// glibc's <termios.h> defines a different struct termios under the same name, so it is never
// included here.
#include "serial/ser_linux_termios.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <pthread.h>
#include <sched.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <ctime>
#include <utility>

#include "serial/deadline.h"
#include "serial/ser.h"

namespace serial::platform {

namespace {

static_assert(sizeof(termios2) <= sizeof(SavedSettings::bytes),
              "SavedSettings too small for termios2");

// Rates that have their own Bxxx constant; any other rate goes through BOTHER.
constexpr std::pair<unsigned, tcflag_t> kStandardRates[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},
    {150, B150},         {200, B200},         {300, B300},         {600, B600},
    {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
    {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
    {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
    {3500000, B3500000}, {4000000, B4000000},
};

int get(int fd, termios2& t) { return ::ioctl(fd, TCGETS2, &t) == 0 ? 0 : errno; }
int set(int fd, const termios2& t) { return ::ioctl(fd, TCSETS2, &t) == 0 ? 0 : errno; }

}  // namespace

int encode_line(const DeviceControl& dcb, termios2& t) {
  tcflag_t size = 0;
  switch (dcb.ByteSize) {
    case 5: size = CS5; break;
    case 6: size = CS6; break;
    case 7: size = CS7; break;
    case 8: size = CS8; break;
    default: return EINVAL;
  }
  tcflag_t parity = 0;
  switch (dcb.Parity) {
    case NoParity: break;
    case OddParity: parity = PARENB | PARODD; break;
    case EvenParity: parity = PARENB; break;
    case MarkParity: parity = PARENB | PARODD | CMSPAR; break;
    case SpaceParity: parity = PARENB | CMSPAR; break;
    default: return EINVAL;
  }
  tcflag_t stop = 0;
  switch (dcb.StopBits) {
    case OneStopBit: break;
    case TwoStopBits: stop = CSTOPB; break;
    // termios has no one-and-a-half stop bits; the line must not silently run with one or two.
    default: return EINVAL;
  }
  // Rate 0 is B0, which means "hang up" (drop DTR), not a line speed.
  if (dcb.BaudRate == 0) return EINVAL;
  tcflag_t speed = BOTHER;
  for (const auto& [rate, code] : kStandardRates)
    if (rate == dcb.BaudRate) speed = code;

  t.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | IGNPAR | PARMRK | INPCK | ISTRIP | INLCR |
                                      IGNCR | ICRNL | IUCLC | IXON | IXANY | IXOFF | IMAXBEL);
  t.c_oflag &= ~static_cast<tcflag_t>(OPOST);
  t.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
  // CIBAUD cleared: the input rate follows the output rate.
  t.c_cflag &= ~static_cast<tcflag_t>(CBAUD | (CBAUD << IBSHIFT) | CSIZE | PARENB | PARODD |
                                      CMSPAR | CSTOPB | CRTSCTS);
  // HUPCL stays as the device has it (on by default): the last close lowers DTR and RTS, even after a crash.
  t.c_cflag |= CLOCAL | CREAD | speed | size | parity | stop;
  t.c_ispeed = dcb.BaudRate;
  t.c_ospeed = dcb.BaudRate;
  // Linux has one switch for both directions of hardware flow control.
  if (dcb.fOutxCtsFlow || dcb.fRtsControl == RTS_CONTROL_HANDSHAKE) t.c_cflag |= CRTSCTS;
  if (dcb.fOutX) t.c_iflag |= IXON;
  if (dcb.fInX) t.c_iflag |= IXOFF;
  t.c_cc[VSTART] = dcb.XonChar;
  t.c_cc[VSTOP] = dcb.XoffChar;
  t.c_cc[VMIN] = 0;
  t.c_cc[VTIME] = 0;
  return 0;
}

unsigned decode_rate(const termios2& t) {
  const tcflag_t code = t.c_cflag & CBAUD;
  if (code == BOTHER) return t.c_ospeed;
  for (const auto& [rate, standard] : kStandardRates)
    if (standard == code) return rate;
  return 0;
}

int open_line(const char* path, const DeviceControl& dcb, int& fd_out, SavedSettings& saved) {
  const int fd = ::open(path, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return errno;

  bool exclusive = false;
  bool changed = false;
  termios2 old{};
  const auto fail = [&](int err) {
    if (changed) set(fd, old);
    if (exclusive) ::ioctl(fd, TIOCNXCL);
    ::close(fd);
    return err;
  };

  // flock stops a second open by this program (and by others that lock), even as root; TIOCEXCL
  // stops other programs that do not lock, except root. A held lock reports EWOULDBLOCK, whose text
  // ("Resource temporarily unavailable") would mislead: the device is busy.
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) return fail(errno == EWOULDBLOCK ? EBUSY : errno);
  if (::ioctl(fd, TIOCEXCL) != 0) return fail(errno);
  exclusive = true;
  if (const int err = get(fd, old); err != 0) return fail(err);

  termios2 raw = old;
  if (const int err = encode_line(dcb, raw); err != 0) return fail(err);
  changed = true;
  if (const int err = set(fd, raw); err != 0) return fail(err);

  std::memcpy(saved.bytes.data(), &old, sizeof old);
  fd_out = fd;
  return 0;
}

void put_back(int fd, const SavedSettings& saved) {
  termios2 old{};
  std::memcpy(&old, saved.bytes.data(), sizeof old);
  set(fd, old);
  ::ioctl(fd, TIOCNXCL);
}

int close_line(int fd, const SavedSettings& saved) {
  // Put back at once rather than after draining: with flow control stopped a drain never ends.
  // Both calls fail on a device that has gone, which changes nothing about closing it.
  put_back(fd, saved);
  return ::close(fd) == 0 ? 0 : errno;
}

int apply(int fd, const DeviceControl& dcb) {
  termios2 t{};
  if (const int err = get(fd, t); err != 0) return err;
  if (const int err = encode_line(dcb, t); err != 0) return err;
  return set(fd, t);
}

// What the device holds, whatever was asked: a driver keeps what it cannot do.
DeviceControl decode_line(const termios2& t) {
  DeviceControl dcb;
  dcb.BaudRate = decode_rate(t);
  switch (t.c_cflag & CSIZE) {
    case CS5: dcb.ByteSize = 5; break;
    case CS6: dcb.ByteSize = 6; break;
    case CS7: dcb.ByteSize = 7; break;
    default: dcb.ByteSize = 8; break;
  }
  // Without PARENB no parity bit is sent, whatever PARODD and CMSPAR say.
  if (t.c_cflag & PARENB) {
    const bool odd = (t.c_cflag & PARODD) != 0;
    dcb.Parity = (t.c_cflag & CMSPAR) ? (odd ? MarkParity : SpaceParity) : (odd ? OddParity : EvenParity);
  }
  dcb.StopBits = (t.c_cflag & CSTOPB) ? TwoStopBits : OneStopBit;
  dcb.fOutxCtsFlow = (t.c_cflag & CRTSCTS) != 0;
  dcb.fRtsControl = dcb.fOutxCtsFlow ? RTS_CONTROL_HANDSHAKE : RTS_CONTROL_DISABLE;
  dcb.fOutX = (t.c_iflag & IXON) != 0;
  dcb.fInX = (t.c_iflag & IXOFF) != 0;
  dcb.XonChar = t.c_cc[VSTART];
  dcb.XoffChar = t.c_cc[VSTOP];
  return dcb;
}

int line_settings(int fd, DeviceControl& dcb) {
  termios2 t{};
  if (const int err = get(fd, t); err != 0) return err;
  dcb = decode_line(t);
  return 0;
}

int line_rate(int fd, unsigned& rate) {
  termios2 t{};
  if (const int err = get(fd, t); err != 0) return err;
  rate = decode_rate(t);
  return 0;
}

// A pseudo-terminal has no modem lines: it refuses TIOCMBIS/TIOCMBIC/TIOCMGET with ENOTTY.
int set_output_line(int fd, OutputLine line, bool on) {
  const int bits = line == OutputLine::Dtr ? TIOCM_DTR : TIOCM_RTS;
  return ::ioctl(fd, on ? TIOCMBIS : TIOCMBIC, &bits) == 0 ? 0 : errno;
}

int modem_status(int fd, int& ms_bits) {
  int lines = 0;
  if (::ioctl(fd, TIOCMGET, &lines) != 0) return errno;
  ms_bits = ((lines & TIOCM_CTS) ? MS_CTS_ON : 0) | ((lines & TIOCM_DSR) ? MS_DSR_ON : 0) |
            ((lines & TIOCM_RNG) ? MS_RING_ON : 0) | ((lines & TIOCM_CAR) ? MS_RLSD_ON : 0);
  return 0;
}

int set_break(int fd, bool on) { return ::ioctl(fd, on ? TIOCSBRK : TIOCCBRK) == 0 ? 0 : errno; }

int input_waiting(int fd, int& count) { return ::ioctl(fd, FIONREAD, &count) == 0 ? 0 : errno; }

int output_waiting(int fd, int& count) { return ::ioctl(fd, TIOCOUTQ, &count) == 0 ? 0 : errno; }

// Only drivers with line-error counters answer TIOCGICOUNT; a pty refuses it with ENOTTY.
int line_counters(int fd, LineCounters& counters) {
  serial_icounter_struct icount{};
  if (::ioctl(fd, TIOCGICOUNT, &icount) != 0) return errno;
  counters = {icount.buf_overrun, icount.overrun, icount.parity, icount.frame, icount.brk};
  return 0;
}

long read_some(int fd, void* buffer, std::size_t size) {
  for (;;) {
    const ssize_t n = ::read(fd, buffer, size);
    if (n >= 0) return n;
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) return 0;
    return -errno;
  }
}

// A hung-up tty (far end of a pty closed, USB adapter pulled) reads as 0 bytes like an idle one;
// only poll's POLLHUP/POLLERR tells the two apart.
bool line_gone(int fd) {
  pollfd p{fd, POLLIN, 0};
  if (::poll(&p, 1, 0) < 0) return false;
  return (p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

int write_all(int fd, const void* buffer, std::size_t size, std::uint32_t wait_ms) {
  const auto* data = static_cast<const unsigned char*>(buffer);
  const Deadline deadline(steady_clock(), wait_ms);
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n > 0) {
      data += n;
      size -= static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return errno;
    if (n == 0) return EIO;  // a tty never takes nothing; looping on it would spin
    // The kernel's buffer is full (flow control, slow line, far end not reading): wait for room,
    // but never without limit.
    if (deadline.expired()) return ETIMEDOUT;
    pollfd p{fd, POLLOUT, 0};
    const int ready = ::poll(&p, 1, static_cast<int>(std::min<std::uint32_t>(deadline.left(), INT_MAX)));
    if (ready < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (ready == 0) return ETIMEDOUT;
    if (p.revents & POLLNVAL) return EBADF;
    if (p.revents & (POLLHUP | POLLERR)) return EIO;
  }
  return 0;
}

int uart_type(const char* path, int& type) {
  const int fd = ::open(path, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return errno;
  serial_struct info{};
  const int err = ::ioctl(fd, TIOCGSERIAL, &info) == 0 ? 0 : errno;
  ::close(fd);
  if (err == 0) type = info.type;
  return err;
}

std::int64_t monotonic_ms() {
  timespec now{};
  ::clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<std::int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

std::int64_t wall_clock_us() {
  timespec now{};
  ::clock_gettime(CLOCK_REALTIME, &now);
  return static_cast<std::int64_t>(now.tv_sec) * 1000000 + now.tv_nsec / 1000;
}

// Allowed to root, and to users with an rtprio limit; others keep the ordinary policy.
bool raise_to_real_time(std::thread& thread) {
  sched_param param{};
  param.sched_priority = ::sched_get_priority_min(SCHED_FIFO);
  return ::pthread_setschedparam(thread.native_handle(), SCHED_FIFO, &param) == 0;
}

int wait_input(int fd, int wake_fd, int ms, bool& woken) {
  woken = false;
  pollfd p[2] = {{fd, POLLIN, 0}, {wake_fd, POLLIN, 0}};
  const int count = ::poll(p, wake_fd >= 0 ? 2 : 1, ms);
  // A signal cut the wait short: report it as time passed; callers measure time themselves.
  if (count < 0) return errno == EINTR ? 0 : -errno;
  if (wake_fd >= 0 && (p[1].revents & POLLIN)) woken = true;
  return (p[0].revents & (POLLIN | POLLHUP | POLLERR | POLLNVAL)) != 0 ? 1 : 0;
}

}  // namespace serial::platform
