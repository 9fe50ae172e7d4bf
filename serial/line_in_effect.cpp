#include "serial/line_in_effect.h"

#include "serial/ser.h"
#include "serial/ser_platform.h"

namespace serial {

bool line_in_effect(int port, LineInEffect& line) {
  const int fd = native_handle(port);
  platform::DeviceControl dcb;
  if (fd < 0 || platform::line_settings(fd, dcb) != 0) return false;
  line = {dcb.BaudRate, dcb.ByteSize, dcb.Parity, dcb.StopBits, dcb.fOutxCtsFlow, dcb.fOutX && dcb.fInX};
  return true;
}

}  // namespace serial
