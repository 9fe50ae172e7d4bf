#include "core/hex_send.h"

#include <cstring>
#include <string>

#include "core/hex.h"
#include "core/port_claim.h"
#include "core/resource.h"
#include "serial/failure_kind.h"
#include "serial/ser.h"

namespace {

// The failure this sender put in the progress line last, so a later success clears only its own
// text and never a transfer's.
std::string shown_failure;

std::string failure_text(int port, int result) {
  if (result != TORVEL_WIN32ERR) return hex_port_name(port) + " is not open: nothing sent";
  if (serial::failure_kind(LastWinError) == serial::FailureKind::TimedOut)
    return hex_port_name(port) + " write timed out (flow control or far end not reading): not sent";
  return hex_port_name(port) + " write failed (" + std::strerror(LastWinError) + "): not sent";
}

void show_failure(platform::DialogHost& hwnd, std::string text) {
  hwnd.set_text(IDT_PROGRESS, text);
  shown_failure = std::move(text);
}

}  // namespace

bool hex_send_bytes(platform::DialogHost& hwnd, int port, const char* bytes, int length) {
  if (port < 0 || port >= HEX_MAX_PORT) return false;
  // A transfer or dump owns its port until it ends; its bytes must not be mixed with others.
  if (hex_port_busy(port)) {
    show_failure(hwnd, hex_port_name(port) + " is busy with a transfer");
    return false;
  }
  // An absent terminal port holds no open port, and its number may be the other terminal port's:
  // writing to it would put the bytes on the wrong line.
  if (!hex_obj[port].present) {
    show_failure(hwnd, failure_text(port, IE_NOPEN));
    return false;
  }
  const int result = length > 0 ? SioPuts(hex_obj[port].portnum, bytes, static_cast<unsigned>(length)) : 0;
  if (result < 0) {
    show_failure(hwnd, failure_text(port, result));
    return false;
  }
  if (!shown_failure.empty() && hwnd.text(IDT_PROGRESS) == shown_failure) hwnd.set_text(IDT_PROGRESS, "");
  shown_failure.clear();
  return true;
}
