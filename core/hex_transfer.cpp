// Start, the two periodic handlers and Abort of file transfers and raw dumps.
#include "core/hex_transfer.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "core/hex.h"
#include "core/hex_display.h"
#include "core/hex_send.h"
#include "core/resource.h"
#include "core/transfer_thread.h"
#include "serial/deadline.h"
#include "serial/devices.h"
#include "serial/ser.h"
#include "xmodem/serxydrv.h"

using platform::DialogHost;

int hex_xsend_port = 0;

namespace {

constexpr char NAK_CHAR = 0x15;

constexpr const char* kNegotiating[] = {"", "X-Modem Negotiating... ", "X-Modem CRC Negotiating... ",
                                        "X-Modem 1K Negotiating... "};

// What a running transfer holds still: Start, both bindings (the other port must not be bound to
// the transfer's device) and the line settings of the transfer's port.
constexpr int kHeldAlways[] = {IDB_GO_FILE, IDC_PORTA, IDC_PORTB};
constexpr int kHeldSettings[HEX_MAX_PORT][5] = {
    {IDC_SPEED1, IDC_DATA1, IDC_STOP1, IDC_PARITY1, IDC_FLOW1},
    {IDC_SPEED2, IDC_DATA2, IDC_STOP2, IDC_PARITY2, IDC_FLOW2}};

// The dump in progress. A dump keeps the direction it started with, like its port.
std::FILE* hex_dump_file = nullptr;
long long hex_dump_cnt = 0;    // bytes moved: sent to the port, or written to the file
long long dump_size = 0;       // a sent file's size
bool dump_sending = false;
std::string dump_path;
char dump_buffer[HEX_MAX_STRING];

serial::Clock* dump_clock = &serial::steady_clock();
// The 15 s without a byte moved, started again whenever one does. Measured at each dump tick on
// the library's clock rather than by a window timer, so a test can pass the clock in.
std::optional<serial::Deadline> dump_quiet;

int shown_packet = 0;

// Made at the first XMODEM transfer, after the engine's own statics, so it ends before them.
TransferThread& transfer_thread() {
  static TransferThread thread;
  return thread;
}

int serial_port() { return hex_obj[hex_xsend_port].portnum; }

void start_timer(DialogHost& hwnd, int id, unsigned period) {
  if (hwnd.start_timer(id, period) == 0) hex_err_msg("Timer is broken");
}

void show_running(DialogHost& hwnd, bool running) {
  for (const int id : kHeldAlways) hwnd.set_enabled(id, !running);
  for (const int id : kHeldSettings[hex_xsend_port]) hwnd.set_enabled(id, !running);
}

// Closes the transfer's port and opens it again with the dialog's settings and the start-up line
// states. One that does not open is shown absent and is opened again by itself once its device
// can be.
bool reopen(DialogHost& hwnd) {
  HEX_OBJ_TYP& obj = hex_obj[hex_xsend_port];
  obj.err = SioDone(obj.portnum);
  if (hex_reopen(hwnd, hex_xsend_port)) return true;
  hex_show_presence(hwnd, hex_xsend_port);
  hex_reconnect_follow(hex_xsend_port, PortChange::Lost);
  return false;
}

// Decided on the error's kind, never its text (which follows the locale).
bool device_gone(int os_error) {
  const serial::FailureKind kind = serial::failure_kind(os_error);
  return kind == serial::FailureKind::Gone || kind == serial::FailureKind::NotFound;
}

std::string failure_reason(int code, int os_error) {
  if (code == TORVEL_WIN32ERR) {
    // A failed read has left the device's own words with the port.
    if (std::string why = serial::open_failure(serial_port()); !why.empty()) return why;
    if (hex_write_timed_out(os_error)) return "write timed out (flow control or far end not reading)";
    return std::strerror(os_error);
  }
  if (const std::string_view text = xyErrorText(code); !text.empty()) return std::string(text);
  return "error " + std::to_string(code);
}

std::string xmodem_outcome(int code, int os_error) {
  if (code == XY_NO_ERROR) return "X-Modem Completed ";
  if (code == XY_ABORTED_ERROR) return "X-Modem Aborted ";
  return "X-Modem Failed: " + failure_reason(code, os_error) + " ";
}

// ---- XMODEM ----

void start_xmodem(DialogHost& hwnd, int protocol, const char* path) {
  HEX_OBJ_TYP& obj = hex_obj[hex_xsend_port];
  hwnd.set_text(IDT_PROGRESS, kNegotiating[protocol]);
  // The engine starts on a freshly opened port, which gets the dialog's settings back at once.
  if (!reopen(hwnd)) {
    hwnd.set_text(IDT_PROGRESS, "X-Modem Failed: " + serial::open_failure(obj.portnum) + " ");
    return;
  }
  if (const int rc = xyAcquire(obj.portnum); rc != 0) {
    hwnd.set_text(IDT_PROGRESS, xmodem_outcome(rc, 0));
    return;
  }
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
  hex_xmodem_busy = 1;
  shown_packet = 0;
  show_running(hwnd, true);
  start_timer(hwnd, HEX_XMODEM_TIMER, HEX_XTIME);
}

void end_xmodem(DialogHost& hwnd) {
  TransferThread& thread = transfer_thread();
  thread.join();
  const int code = thread.outcome();
  const std::string outcome = xmodem_outcome(code, thread.os_error());
  xyRelease(serial_port());
  hex_xmodem_busy = 0;
  if (code == TORVEL_WIN32ERR && device_gone(thread.os_error()))
    hex_port_lost(hwnd, hex_xsend_port);
  else
    reopen(hwnd);
  show_running(hwnd, false);
  hwnd.stop_timer(HEX_XMODEM_TIMER);
  hwnd.set_text(IDT_PROGRESS, outcome);
}

// ---- Dumps ----

std::string dump_stopped() {
  if (!dump_sending) return "Dump Stopped: " + std::to_string(hex_dump_cnt) + " bytes received ";
  return "Dump Stopped: " + std::to_string(hex_dump_cnt) + " of " + std::to_string(dump_size) + " bytes sent ";
}

// A dump ended by Abort or by 15 s without data: a sent file not sent whole says so.
std::string dump_ended() {
  return dump_sending && hex_dump_cnt < dump_size ? dump_stopped() : "Dump Completed ";
}

void end_dump(DialogHost& hwnd, const std::string& text) {
  std::fclose(hex_dump_file);
  hex_dump_file = nullptr;
  hex_dump_busy = 0;
  hwnd.stop_timer(HEX_DUMP_TIMER);
  show_running(hwnd, false);
  hwnd.set_text(IDT_PROGRESS, text);
}

// The dump's port stopped answering: shown absent, as the pump shows a port whose device went.
void dump_port_lost(DialogHost& hwnd) {
  const std::string text = dump_stopped();
  hex_port_lost(hwnd, hex_xsend_port);
  end_dump(hwnd, text);
}

// Opens the dump's file; false (and a box saying why, unless the prompt was cancelled) when it
// cannot be used.
bool open_dump_file(const char* path) {
  if (path[0] == '\0') return false;
  hex_dump_file = std::fopen(path, dump_sending ? "rb" : "wb");
  int error = errno;
  struct stat info {};
  if (hex_dump_file != nullptr && (::fstat(fileno(hex_dump_file), &info) != 0 || S_ISDIR(info.st_mode))) {
    // Linux opens a directory for reading; only its reads fail.
    error = S_ISDIR(info.st_mode) ? EISDIR : errno;
    std::fclose(hex_dump_file);
    hex_dump_file = nullptr;
  }
  if (hex_dump_file == nullptr) {
    hex_err_msg("Dump File open error", error, hex_os_reason(path, error));
    return false;
  }
  dump_size = dump_sending ? static_cast<long long>(info.st_size) : 0;
  dump_path = path;
  return true;
}

void start_dump(DialogHost& hwnd, const char* path) {
  dump_sending = hex_send_file != 0;
  if (!open_dump_file(path)) return;
  HEX_OBJ_TYP& obj = hex_obj[hex_xsend_port];
  obj.err = dump_sending ? SioTxClear(obj.portnum) : SioRxClear(obj.portnum);
  hex_dump_busy = 1;
  hex_dump_cnt = 0;
  dump_quiet.emplace(*dump_clock, HEX_DERR_TIME);
  hwnd.set_text(IDT_PROGRESS, dump_sending ? "Send file... " : "Get file... ");
  show_running(hwnd, true);
  start_timer(hwnd, HEX_DUMP_TIMER, HEX_DTIME);
}

// Whatever has arrived, into the file; the bytes moved.
int dump_receive(DialogHost& hwnd) {
  const int port = serial_port();
  const int waiting = SioRxQue(port);
  // Read even with nothing waiting: only a read tells a device that has gone from an idle one.
  const int got = SioGets(port, dump_buffer, static_cast<unsigned>(std::clamp(waiting, 0, HEX_MAX_STRING)));
  if (got == TORVEL_WIN32ERR) {
    dump_port_lost(hwnd);
    return 0;
  }
  if (got <= 0) return 0;
  const std::size_t written = std::fwrite(dump_buffer, 1, static_cast<std::size_t>(got), hex_dump_file);
  if (written != static_cast<std::size_t>(got) || std::fflush(hex_dump_file) != 0) {
    const int error = errno;
    end_dump(hwnd, dump_stopped());
    hex_err_msg("Dump File write error", error, hex_os_reason(dump_path, error));
    return 0;
  }
  hex_dump_cnt += got;
  return got;
}

// As much of the file as the transmit queue has room for, to the port; the bytes moved.
int dump_send(DialogHost& hwnd) {
  const int port = serial_port();
  const int room = HEX_QUEUE_SIZE - std::clamp(SioTxQue(port), 0, HEX_QUEUE_SIZE);
  const std::size_t n = std::fread(dump_buffer, 1, static_cast<std::size_t>(room), hex_dump_file);
  if (n > 0 && SioPuts(port, dump_buffer, static_cast<unsigned>(n)) < 0) {
    if (device_gone(LastWinError))
      dump_port_lost(hwnd);
    else
      end_dump(hwnd, dump_stopped());
    return 0;
  }
  hex_dump_cnt += static_cast<long long>(n);
  if (std::feof(hex_dump_file))
    end_dump(hwnd, "Dump Completed ");
  else if (std::ferror(hex_dump_file))
    end_dump(hwnd, dump_stopped());
  return static_cast<int>(n);
}

}  // namespace

void hex_file_transfer(DialogHost& hwndDlg) {
  // One at a time: a second transfer would run on a port already in use and lose the open file.
  if (hex_xmodem_busy || hex_dump_busy) return;
  hex_xsend_port = hex_send_port;
  const int protocol = hwndDlg.selected_entry(IDC_PROTOCOL);
  hex_log_close(hwndDlg);
  char path[HEX_FILENAME_SIZE];
  hex_file_dlg("bin", "Select or enter a File to transfer", path, hex_send_file == 0);
  hwndDlg.set_text(IDT_STATUS, path);
  if (protocol < HEX_DUMP || protocol > HEX_XMODEM_1K) return;
  // The port may have gone while the prompt was open; an absent port's number may be the other's.
  if (!hex_obj[hex_xsend_port].present) {
    hwndDlg.set_text(IDT_PROGRESS, hex_port_name(hex_xsend_port) + " is not open: nothing transferred ");
    return;
  }
  if (protocol == HEX_DUMP)
    start_dump(hwndDlg, path);
  else
    start_xmodem(hwndDlg, protocol, path);
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
  start_timer(hwndDlg, HEX_XMODEM_TIMER, HEX_XTIME);
}

void hex_periodic_dump(DialogHost& hwndDlg) {
  hwndDlg.stop_timer(HEX_DUMP_TIMER);
  if (!hex_dump_busy) return;
  const int moved = dump_sending ? dump_send(hwndDlg) : dump_receive(hwndDlg);
  if (!hex_dump_busy) return;
  if (moved > 0) {
    hwndDlg.set_text(IDT_PROGRESS, "Bytes = " + std::to_string(hex_dump_cnt) + " ");
    dump_quiet.emplace(*dump_clock, HEX_DERR_TIME);
  } else if (dump_quiet->expired()) {
    end_dump(hwndDlg, dump_ended());
    return;
  }
  start_timer(hwndDlg, HEX_DUMP_TIMER, HEX_DTIME);
}

void hex_file_abort(DialogHost& hwndDlg) {
  if (hex_xmodem_busy) {
    TransferThread& thread = transfer_thread();
    thread.request_abort();
    if (thread.done())
      end_xmodem(hwndDlg);
    else
      start_timer(hwndDlg, HEX_XMODEM_TIMER, HEX_XTIME);  // its tick ends the transfer
  }
  if (hex_dump_busy) end_dump(hwndDlg, dump_ended());
}

bool hex_port_busy(int port) { return (hex_xmodem_busy || hex_dump_busy) && port == hex_xsend_port; }

bool hex_transfer_holds(int id) {
  if (!hex_xmodem_busy && !hex_dump_busy) return false;
  const auto held = [id](const auto& ids) { return std::find(std::begin(ids), std::end(ids), id) != std::end(ids); };
  return held(kHeldAlways) || held(kHeldSettings[hex_xsend_port]);
}

void hex_transfer_quit(DialogHost& hwndDlg) {
  if (hex_xmodem_busy) {
    TransferThread& thread = transfer_thread();
    thread.request_abort();
    thread.join();
    xyRelease(serial_port());
    hex_xmodem_busy = 0;
    hwndDlg.stop_timer(HEX_XMODEM_TIMER);
  }
  if (hex_dump_busy) {
    std::fclose(hex_dump_file);
    hex_dump_file = nullptr;
    hex_dump_busy = 0;
    hwndDlg.stop_timer(HEX_DUMP_TIMER);
  }
}

serial::Clock& hex_dump_set_clock(serial::Clock& clock) {
  serial::Clock& before = *dump_clock;
  dump_clock = &clock;
  return before;
}
