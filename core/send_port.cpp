#include "core/send_port.h"

#include <cerrno>
#include <cstdio>

#include "core/hex.h"
#include "core/resource.h"
#include "serial/ser.h"

namespace {

bool failure_shown = false;  // the progress line holds a send failure's text

void show_failure(platform::DialogHost* hwnd, int port, const char* what) {
  if (hwnd == nullptr) return;
  char text[64];
  std::snprintf(text, sizeof text, "Port %c %s", port == 0 ? 'A' : 'B', what);
  hwnd->set_text(IDT_PROGRESS, text);
  failure_shown = true;
}

}  // namespace

int hex_transmit(platform::DialogHost* hwnd, int port, const char* bytes, int count) {
  if (port < 0 || port >= HEX_MAX_PORT || count < 0) return 0;
  // An absent port's number may be the other terminal port's: nothing may be written through it.
  if (!hex_obj[port].present) {
    show_failure(hwnd, port, "is not open: nothing sent");
    return 0;
  }
  const int written = SioPuts(hex_obj[port].portnum, bytes, static_cast<unsigned>(count));
  if (written != count) {
    const bool timed_out = LastWinError == ETIMEDOUT;
    show_failure(hwnd, port, timed_out ? "write timed out: not sent" : "write failed: not sent");
    return 0;
  }
  if (failure_shown && hwnd != nullptr) {
    hwnd->set_text(IDT_PROGRESS, "");
    failure_shown = false;
  }
  return 1;
}
