#include "core/hex_capture.h"

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "capture/capture_writer.h"
#include "core/hex.h"
#include "core/hex_log.h"
#include "core/hex_report.h"
#include "core/line_record.h"
#include "core/resource.h"
#include "serial/devices.h"
#include "serial/read_ahead.h"
#include "serial/ser.h"

using platform::DialogHost;

namespace {

// The capture being written. At the end of the program the records stop going to it before it goes.
struct Capture {
  std::unique_ptr<capture::CaptureWriter> writer;
  ~Capture() { hex_record_into(nullptr); }
};
Capture running;
std::unique_ptr<capture::CaptureWriter>& writer = running.writer;

// What the comments were last about, per terminal port: its device and settings, or why absent.
std::array<std::string, HEX_MAX_PORT> stated;
int transfer_port = -1;  // the port of the transfer or dump the comments said began

std::string device_of(int port) {
  const int number = hex_obj[port].portnum;
  const std::string path = serial::device_path(number);
  return path.empty() ? "COM" + std::to_string(number + 1) + " (no device)" : path;
}

std::string flow_text(const char* flow) {
  if (flow[0] == 'R') return "RTS/CTS flow control";
  if (flow[0] == 'X') return "XON/XOFF flow control";
  return "no flow control";
}

// The control lines as far as the library knows them: the output lines it holds, and the input
// lines the device reports (a pty and a raw TCP link report none).
std::uint8_t control_lines(int number) {
  std::uint8_t lines = 0;
  if (SioDTR(number, 'R') > 0) lines |= capture::lines::kDtr;
  if (SioRTS(number, 'R') > 0) lines |= capture::lines::kRts;
  if (SioCTS(number) > 0) lines |= capture::lines::kCts;
  if (SioDSR(number) > 0) lines |= capture::lines::kDsr;
  if (SioDCD(number) > 0) lines |= capture::lines::kDcd;
  if (SioRI(number) > 0) lines |= capture::lines::kRing;
  return lines;
}

// "/dev/ttyUSB0, 9600 8N1, no flow control", or for an absent port why it is absent.
std::string state_of(int port) {
  if (!hex_obj[port].present) {
    const std::string why = serial::open_failure(hex_obj[port].portnum);
    return "absent: " + (why.empty() ? device_of(port) + ": not open" : why);
  }
  return device_of(port) + ", " + hex_port_settings(port);
}

std::vector<capture::PortInfo> port_infos() {
  std::vector<capture::PortInfo> infos;
  for (int port = 0; port < HEX_MAX_PORT; ++port) {
    const std::string absent = hex_obj[port].present ? "" : " (" + state_of(port) + ")";
    infos.push_back({hex_port_name(port), device_of(port), hex_port_settings(port) + absent});
  }
  return infos;
}

void show_capture(DialogHost& hwnd) {
  hwnd.check_radio(IDR_CAPTURE, IDR_NOCAPTURE, writer ? IDR_CAPTURE : IDR_NOCAPTURE);
  hwnd.set_tooltip(IDR_CAPTURE, writer ? "Capturing both lines into " + writer->path() : "");
}

void comment(int port, const std::string& text) { hex_record_comment(port, serial::wall_clock_us(), text); }

// A port's device, settings or presence changed since the comments last said: they say so now.
void state_changes() {
  for (int port = 0; port < HEX_MAX_PORT; ++port) {
    std::string now = state_of(port);
    std::string& before = stated[static_cast<std::size_t>(port)];
    if (now == before) continue;
    if (!before.empty()) comment(port, hex_port_name(port) + ": " + now);
    before = std::move(now);
  }
}

// The transfer or dump the comments said began has ended: its outcome, as the progress line says it.
void transfer_end(DialogHost& hwnd) {
  if (transfer_port < 0 || hex_transfer_running()) return;
  std::string outcome = hwnd.text(IDT_PROGRESS);
  while (!outcome.empty() && outcome.back() == ' ') outcome.pop_back();
  comment(transfer_port, hex_port_name(transfer_port) + ": " + (outcome.empty() ? "transfer ended" : outcome));
  transfer_port = -1;
}

// What the records and taps must know of each port: its serial port, device, description, lines.
void tell_records() {
  std::array<RecordedPort, HEX_MAX_PORT> ports;
  for (int port = 0; port < HEX_MAX_PORT; ++port) {
    RecordedPort& recorded = ports[static_cast<std::size_t>(port)];
    const HEX_OBJ_TYP& obj = hex_obj[port];
    recorded = {obj.present != 0, obj.portnum, device_of(port), hex_port_name(port) + ": " + state_of(port), 0};
    // A port a transfer holds is the transfer's alone; its lines are not asked for meanwhile.
    if (obj.present && !hex_port_busy(port)) recorded.lines = control_lines(obj.portnum);
  }
  hex_record_ports(ports);
}

// The writer's thread could not write: the capture ends and the user is told where and why.
void check_writer(DialogHost& hwnd) {
  if (!writer || !writer->failed()) return;
  const std::string why = writer->status().error;
  hex_capture_close(hwnd);
  hex_dbg_msg(("Capture stopped: " + why + "\nThe file keeps what was written before.").c_str());
}

void start_capture(DialogHost& hwnd, const std::string& path) {
  std::string error;
  tell_records();
  writer = capture::CaptureWriter::create(path, port_infos(), error);
  if (writer) hex_record_into(writer.get());
  show_capture(hwnd);
  if (!writer) hex_dbg_msg(("Capture File open error\n" + error).c_str());
}

}  // namespace

std::string hex_port_settings(int port) {
  static constexpr char kParity[] = "NOEMS";
  const HEX_OBJ_TYP& obj = hex_obj[port];
  const char parity = obj.parity >= 0 && obj.parity < 5 ? kParity[obj.parity] : '?';
  return std::to_string(hex_port_rate(port)) + " " + std::to_string(obj.databits) + parity +
         (obj.stopbits == 2 ? "2" : "1") + ", " + flow_text(obj.flow);
}

void hex_capture_follow() { tell_records(); }

void hex_capture_open(DialogHost& hwndDlg) {
  char name[HEX_FILENAME_SIZE];
  if (!hex_file_dlg("pcapng", "Select or enter a Capture File name", name, true)) {
    show_capture(hwndDlg);  // cancelled: the capture goes on as it was
    return;
  }
  // The capture running ends first: the new file may be the same one.
  hex_capture_close(hwndDlg);
  start_capture(hwndDlg, name);
}

void hex_capture_close(DialogHost& hwndDlg) {
  if (writer) {
    hex_record_into(nullptr);
    writer->stop();
    writer.reset();
  }
  show_capture(hwndDlg);
}

void hex_capture_tick(DialogHost& hwndDlg) {
  tell_records();
  hex_record_serve();
  state_changes();
  transfer_end(hwndDlg);
  check_writer(hwndDlg);
}

void hex_capture_transfer_began(DialogHost& hwndDlg, int port, ClaimKind kind) {
  const std::string protocol = kind == ClaimKind::Dump ? "Dump" : hwndDlg.text(IDC_PROTOCOL);
  const std::string file = hwndDlg.text(IDT_STATUS);
  const std::string what = hex_send_file ? " send of " + file : " get into " + file;
  transfer_port = port;
  comment(port, hex_port_name(port) + ": " + protocol + what + " begins");
}
