#include "core/hex_dump.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>

#include "core/hex.h"
#include "core/hex_report.h"
#include "core/port_claim.h"
#include "core/resource.h"
#include "serial/deadline.h"
#include "serial/failure_kind.h"
#include "serial/ser.h"

using platform::DialogHost;

namespace {

// The dump in progress. A dump keeps the direction it started with, like its port.
std::FILE* hex_dump_file = nullptr;
long long hex_dump_cnt = 0;    // bytes moved: sent to the port, or written to the file
long long dump_size = 0;       // a sent file's size
bool dump_sending = false;
std::string dump_path;
bool dump_created = false;  // a receive made its file (it was not there before)
char dump_buffer[HEX_MAX_STRING];

serial::Clock* dump_clock = &serial::steady_clock();
// The 15 s without a byte moved, started again whenever one does. Measured at each dump tick on
// the library's clock rather than by a window timer, so a test can pass the clock in.
std::optional<serial::Deadline> dump_quiet;

int serial_port() { return hex_obj[hex_xsend_port].portnum; }

std::string dump_stopped() {
  if (!dump_sending) return "Dump Stopped: " + std::to_string(hex_dump_cnt) + " bytes received ";
  return "Dump Stopped: " + std::to_string(hex_dump_cnt) + " of " + std::to_string(dump_size) + " bytes sent ";
}

// A dump ended by Abort or by 15 s without data: a sent file not sent whole says so.
std::string dump_ended() {
  return dump_sending && hex_dump_cnt < dump_size ? dump_stopped() : "Dump Completed ";
}

// A receive that got nothing leaves no file it made.
void close_dump_file() {
  std::fclose(hex_dump_file);
  hex_dump_file = nullptr;
  std::error_code error;
  if (!dump_sending && hex_dump_cnt == 0 && dump_created) std::filesystem::remove(dump_path, error);
}

void end_dump(DialogHost& hwnd, const std::string& text) {
  close_dump_file();
  hwnd.stop_timer(HEX_DUMP_TIMER);
  hex_release_port(hwnd);
  hwnd.set_text(IDT_PROGRESS, text);
}

// The dump's port stopped answering: shown absent, as the pump shows a port whose device went.
void dump_port_lost(DialogHost& hwnd) {
  const std::string text = dump_stopped();
  hex_port_lost(hwnd, hex_xsend_port);
  end_dump(hwnd, text);
}

// The dump's file is read and written on the UI thread each tick, so it never waits: a FIFO with no
// other end fails to open for writing (ENXIO) instead of holding open(), and a FIFO, a device or a
// /proc file with nothing to read yet reads EAGAIN, which is nothing this tick.
std::FILE* open_without_waiting(const char* path) {
  const int flags = dump_sending ? O_RDONLY : O_WRONLY | O_CREAT | O_TRUNC;
  const int fd = ::open(path, flags | O_NONBLOCK | O_CLOEXEC, 0666);
  if (fd < 0) return nullptr;
  std::FILE* file = ::fdopen(fd, dump_sending ? "rb" : "wb");
  if (file == nullptr) {
    const int error = errno;
    ::close(fd);
    errno = error;
  }
  return file;
}

// Opens the dump's file; false (and a box saying why, unless the prompt was cancelled) when it
// cannot be used.
bool open_dump_file(const char* path) {
  if (path[0] == '\0') return false;
  std::error_code exists_error;
  dump_created = !dump_sending && !std::filesystem::exists(path, exists_error);
  hex_dump_file = open_without_waiting(path);
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
  const bool nothing_yet = std::ferror(hex_dump_file) && (errno == EAGAIN || errno == EWOULDBLOCK);
  if (nothing_yet) std::clearerr(hex_dump_file);
  if (n > 0 && SioPuts(port, dump_buffer, static_cast<unsigned>(n)) < 0) {
    if (serial::device_gone(LastWinError))
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

void hex_dump_start(DialogHost& hwnd, int port, const char* path) {
  dump_sending = hex_send_file != 0;
  if (!open_dump_file(path)) return;
  HEX_OBJ_TYP& obj = hex_obj[port];
  obj.err = dump_sending ? SioTxClear(obj.portnum) : SioRxClear(obj.portnum);
  hex_claim_port(hwnd, port, ClaimKind::Dump);
  hex_dump_cnt = 0;
  dump_quiet.emplace(*dump_clock, HEX_DERR_TIME);
  hwnd.set_text(IDT_PROGRESS, dump_sending ? "Send file... " : "Get file... ");
  hex_start_timer(hwnd, HEX_DUMP_TIMER, HEX_DTIME);
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
  hex_start_timer(hwndDlg, HEX_DUMP_TIMER, HEX_DTIME);
}

void hex_dump_abort(DialogHost& hwnd) {
  if (hex_dump_busy) end_dump(hwnd, dump_ended());
}

void hex_dump_quit(DialogHost& hwnd) {
  if (!hex_dump_busy) return;
  close_dump_file();
  hwnd.stop_timer(HEX_DUMP_TIMER);
  hex_release_port(hwnd);
}

serial::Clock& hex_dump_set_clock(serial::Clock& clock) {
  serial::Clock& before = *dump_clock;
  dump_clock = &clock;
  return before;
}
