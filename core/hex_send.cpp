#include "core/hex_send.h"

#include <cstring>
#include <string>

#include "core/hex.h"
#include "core/port_claim.h"
#include "core/resource.h"
#include "serial/failure_kind.h"
#include "serial/ser.h"

namespace {

// The failure this sender put in the progress line last, and the port it was about, so a later
// success, or the port coming back, clears only its own text and never a transfer's.
std::string shown_failure;
int failed_port = -1;

std::string failure_text(int port, int result) {
  if (result != TORVEL_WIN32ERR) return hex_port_name(port) + " is not open: nothing sent";
  if (serial::failure_kind(LastWinError) == serial::FailureKind::TimedOut)
    return hex_port_name(port) + " write timed out (flow control or far end not reading): not sent";
  return hex_port_name(port) + " write failed (" + std::strerror(LastWinError) + "): not sent";
}

void show_failure(platform::DialogHost& hwnd, int port, std::string text) {
  hwnd.set_text(IDT_PROGRESS, text);
  shown_failure = std::move(text);
  failed_port = port;
}

void clear_failure(platform::DialogHost& hwnd) {
  if (!shown_failure.empty() && hwnd.text(IDT_PROGRESS) == shown_failure) hwnd.set_text(IDT_PROGRESS, "");
  shown_failure.clear();
  failed_port = -1;
}

}  // namespace

bool hex_send_bytes(platform::DialogHost& hwnd, int port, const char* bytes, int length) {
  if (port < 0 || port >= HEX_MAX_PORT) return false;
  // A transfer or dump owns its port until it ends; its bytes must not be mixed with others.
  if (hex_port_busy(port)) {
    show_failure(hwnd, port, hex_port_name(port) + " is busy with a transfer");
    return false;
  }
  // An absent terminal port holds no open port, and its number may be the other terminal port's:
  // writing to it would put the bytes on the wrong line.
  if (!hex_obj[port].present) {
    show_failure(hwnd, port, failure_text(port, IE_NOPEN));
    return false;
  }
  const int result = length > 0 ? SioPuts(hex_obj[port].portnum, bytes, static_cast<unsigned>(length)) : 0;
  if (result < 0) {
    show_failure(hwnd, port, failure_text(port, result));
    return false;
  }
  clear_failure(hwnd);
  return true;
}

void hex_show_port_failure(platform::DialogHost& hwnd, int port, std::string text) {
  show_failure(hwnd, port, std::move(text));
}

void hex_port_back(platform::DialogHost& hwnd, int port) {
  if (port == failed_port) clear_failure(hwnd);
}
