#include "core/hex_xmodem.h"

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>

#include "core/hex.h"
#include "core/hex_reconnect.h"
#include "core/hex_report.h"
#include "core/port_claim.h"
#include "core/resource.h"
#include "core/transfer_thread.h"
#include "serial/devices.h"
#include "serial/failure_kind.h"
#include "serial/ser.h"
#include "xmodem/serxydrv.h"

using platform::DialogHost;

namespace {

constexpr char NAK_CHAR = 0x15;

constexpr const char* kNegotiating[] = {"", "X-Modem Negotiating... ", "X-Modem CRC Negotiating... ",
                                        "X-Modem 1K Negotiating... "};

int shown_packet = 0;

// The file a Get writes into, "" for a send, and whether the Get made it (it was not there before).
std::string received_path;
bool received_created = false;

// Made at the first XMODEM transfer, after the engine's own statics, so it ends before them.
TransferThread& transfer_thread() {
  static TransferThread thread;
  return thread;
}

int serial_port() { return hex_obj[hex_xsend_port].portnum; }

// Closes the transfer's port and opens it again with the dialog's settings and the start-up line
// states. One that does not open is shown absent and is opened again by itself once its device
// can be.
bool reopen(DialogHost& hwnd, int port) {
  HEX_OBJ_TYP& obj = hex_obj[port];
  obj.err = SioDone(obj.portnum);
  if (hex_reopen(hwnd, port)) return true;
  hex_reconnect_follow(port, PortChange::Lost);
  hex_show_presence(hwnd, port);
  return false;
}

std::string failure_reason(int code, int os_error) {
  if (code == TORVEL_WIN32ERR) {
    // A failed read has left the device's own words with the port.
    if (std::string why = serial::open_failure(serial_port()); !why.empty()) return why;
    if (serial::failure_kind(os_error) == serial::FailureKind::TimedOut)
      return "write timed out (flow control or far end not reading)";
    return std::strerror(os_error);
  }
  if (const std::string_view text = xyErrorText(code); !text.empty()) return std::string(text);
  return "error " + std::to_string(code);
}

// Where the engine says it failed: which wait, which packet, what arrived.
std::string engine_reason() {
  char reason[XY_REASON_SIZE];
  xyGetReason(reason, sizeof reason);
  return reason[0] == '\0' ? "" : std::string(" (") + reason + ")";
}

// A Get that did not complete keeps what it received; a file it made and received nothing into is
// removed. `packet` is the one it expected last (1 until the first arrived). What is kept, in
// words ("2048 bytes kept"); "" for none.
std::string keep_received(int code, int packet) {
  if (received_path.empty() || code == XY_NO_ERROR) return "";
  std::error_code error;
  if (packet <= 1) {
    if (received_created) std::filesystem::remove(received_path, error);
    return "";
  }
  const std::uintmax_t size = std::filesystem::file_size(received_path, error);
  return error ? "" : std::to_string(size) + " bytes kept";
}

std::string xmodem_outcome(int code, int os_error, const std::string& kept) {
  if (code == XY_NO_ERROR) return "X-Modem Completed ";
  if (code == XY_ABORTED_ERROR) return kept.empty() ? "X-Modem Aborted " : "X-Modem Aborted: " + kept + " ";
  return "X-Modem Failed: " + failure_reason(code, os_error) + engine_reason() + (kept.empty() ? "" : "; " + kept) +
         " ";
}

// Remembers the file a Get will write, and whether it is there before the Get makes it.
void note_received(const char* path) {
  std::error_code error;
  received_path = hex_send_file ? "" : path;
  received_created = !received_path.empty() && !std::filesystem::exists(received_path, error);
}

void end_xmodem(DialogHost& hwnd) {
  TransferThread& thread = transfer_thread();
  thread.join();
  const int code = thread.outcome();
  const std::string outcome = xmodem_outcome(code, thread.os_error(), keep_received(code, thread.packet()));
  xyRelease(serial_port());
  hex_release_port(hwnd);
  if (code == TORVEL_WIN32ERR && serial::device_gone(thread.os_error()))
    hex_port_lost(hwnd, hex_xsend_port);
  else
    reopen(hwnd, hex_xsend_port);
  hwnd.stop_timer(HEX_XMODEM_TIMER);
  hwnd.set_text(IDT_PROGRESS, outcome);
}

}  // namespace

void hex_xmodem_start(DialogHost& hwnd, int port, int protocol, const char* path) {
  HEX_OBJ_TYP& obj = hex_obj[port];
  hwnd.set_text(IDT_PROGRESS, kNegotiating[protocol]);
  // The engine starts on a freshly opened port, which gets the dialog's settings back at once.
  if (!reopen(hwnd, port)) {
    hwnd.set_text(IDT_PROGRESS, "X-Modem Failed: " + serial::open_failure(obj.portnum) + " ");
    return;
  }
  if (const int rc = xyAcquire(obj.portnum); rc != 0) {
    hwnd.set_text(IDT_PROGRESS, xmodem_outcome(rc, 0, ""));
    return;
  }
  note_received(path);
  if (hex_send_file)
    xyStartTx(obj.portnum, path, protocol == HEX_XMODEM_1K ? 1 : 0, 0);
  else
    xyStartRx(obj.portnum, path, protocol == HEX_XMODEM ? NAK_CHAR : 'C', 0);
  if (!transfer_thread().start(obj.portnum)) {
    xyAbort(obj.portnum);
    xyRelease(obj.portnum);
    hwnd.set_text(IDT_PROGRESS, "X-Modem Failed: no thread for the transfer ");
    return;
  }
  hex_claim_port(hwnd, port, ClaimKind::XModem);
  shown_packet = 0;
  hex_start_timer(hwnd, HEX_XMODEM_TIMER, HEX_XTIME);
}

void hex_periodic_transfer(DialogHost& hwndDlg) {
  hwndDlg.stop_timer(HEX_XMODEM_TIMER);
  if (!hex_xmodem_busy) return;
  const TransferThread& thread = transfer_thread();
  if (thread.done()) {
    end_xmodem(hwndDlg);
    return;
  }
  // Shown when it changes, so a refused key's reason stays readable until the next packet.
  if (const int packet = thread.packet(); packet > 0 && packet != shown_packet) {
    shown_packet = packet;
    hwndDlg.set_text(IDT_PROGRESS, "Packets = " + std::to_string(packet) + " ");
  }
  hex_start_timer(hwndDlg, HEX_XMODEM_TIMER, HEX_XTIME);
}

void hex_xmodem_abort(DialogHost& hwnd) {
  if (!hex_xmodem_busy) return;
  TransferThread& thread = transfer_thread();
  thread.request_abort();
  if (thread.done())
    end_xmodem(hwnd);
  else
    hex_start_timer(hwnd, HEX_XMODEM_TIMER, HEX_XTIME);  // its tick ends the transfer
}

void hex_xmodem_quit(DialogHost& hwnd) {
  if (!hex_xmodem_busy) return;
  TransferThread& thread = transfer_thread();
  thread.request_abort();
  thread.join();
  keep_received(thread.outcome(), thread.packet());
  xyRelease(serial_port());
  hwnd.stop_timer(HEX_XMODEM_TIMER);
  hex_release_port(hwnd);
}
