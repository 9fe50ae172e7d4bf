// Stands alone because <asm/termbits.h> (termios2) and glibc's <termios.h> define clashing structs.
#include "tests/serial/line_readback.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <utility>

#include "serial/ser_linux_termios.h"

namespace serialtest {

namespace {

constexpr std::pair<tcflag_t, unsigned> kRates[] = {
    {B110, 110},   {B300, 300},     {B1200, 1200},   {B2400, 2400},   {B4800, 4800},
    {B9600, 9600}, {B19200, 19200}, {B38400, 38400}, {B57600, 57600}, {B115200, 115200},
};

termios2 Cooked(tcflag_t speed) {
  termios2 t{};
  t.c_iflag = ICRNL | IXON | BRKINT;
  t.c_oflag = OPOST;
  t.c_lflag = ICANON | ECHO | ISIG;
  t.c_cflag = speed | CS7 | PARENB | CSTOPB | CRTSCTS;
  t.c_cc[VMIN] = 1;
  return t;
}

LineReadback Decode(const termios2& t) {
  LineReadback got;
  got.ok = true;
  const tcflag_t code = t.c_cflag & CBAUD;
  if (code == BOTHER) got.rate = t.c_ospeed;
  for (const auto& [constant, rate] : kRates)
    if (code == constant) got.rate = rate;
  const tcflag_t size = t.c_cflag & CSIZE;
  got.data_bits = size == CS5 ? 5 : size == CS6 ? 6 : size == CS7 ? 7 : 8;
  got.parenb = t.c_cflag & PARENB;
  got.parodd = t.c_cflag & PARODD;
  got.cmspar = t.c_cflag & CMSPAR;
  got.cstopb = t.c_cflag & CSTOPB;
  got.crtscts = t.c_cflag & CRTSCTS;
  got.ixon = t.c_iflag & IXON;
  got.ixoff = t.c_iflag & IXOFF;
  got.vstart = t.c_cc[VSTART];
  got.vstop = t.c_cc[VSTOP];
  got.raw = (t.c_lflag & (ICANON | ECHO | ISIG | IEXTEN)) == 0 && (t.c_oflag & OPOST) == 0 &&
            (t.c_iflag & (ICRNL | INLCR | IGNCR | ISTRIP | BRKINT)) == 0 &&
            (t.c_cflag & (CLOCAL | CREAD)) == (CLOCAL | CREAD) && t.c_cc[VMIN] == 0 &&
            t.c_cc[VTIME] == 0;
  return got;
}

}  // namespace

LineReadback read_line(int fd) {
  termios2 t{};
  return ::ioctl(fd, TCGETS2, &t) == 0 ? Decode(t) : LineReadback{};
}

LineReadback encoded(const serial::platform::DeviceControl& dcb) {
  termios2 t = Cooked(B1200);
  return serial::platform::encode_line(dcb, t) == 0 ? Decode(t) : LineReadback{};
}

bool set_cooked(int fd, unsigned rate) {
  for (const auto& [constant, r] : kRates) {
    if (r != rate) continue;
    termios2 t = Cooked(constant);
    t.c_cflag |= CLOCAL | CREAD;
    t.c_ispeed = t.c_ospeed = rate;
    return ::ioctl(fd, TCSETS2, &t) == 0;
  }
  return false;
}

bool is_exclusive(int fd) {
  int exclusive = 0;
  return ::ioctl(fd, TIOCGEXCL, &exclusive) == 0 && exclusive != 0;
}

}  // namespace serialtest
