// The terminal ports' state: start-up, shutdown, line settings and bindings to serial ports.
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <span>
#include <string>

#include "core/hex.h"
#include "core/hex_capture.h"
#include "core/hex_log.h"
#include "core/hex_reconnect.h"
#include "core/hex_report.h"
#include "core/hex_send.h"
#include "core/hex_transfer.h"
#include "core/port_claim.h"
#include "core/line_record.h"
#include "core/port_presentation.h"
#include "core/port_readers.h"
#include "core/resource.h"
#include "serial/devices.h"
#include "serial/ser.h"

using platform::Check;
using platform::DialogHost;

const char hex_portnames[HEX_LAST_PORT][HEX_COMSTR_SIZE] = {
    "COM1", "COM2",  "COM3",  "COM4",  "COM5",  "COM6",  "COM7",  "COM8",
    "COM9", "COM10", "COM11", "COM12", "COM13", "COM14", "COM15", "COM16"};
const char hex_parity[HEX_PARITY_MAX][HEX_PARITY_SIZE] = {"NONE", "ODD", "EVEN", "MARK", "SPACE"};
const char hex_baudcode[HEX_BAUD_MAX][HEX_BAUD_SIZE] = {"110",   "300",   "1200",  "2400",  "4800",
                                                        "9600",  "19200", "38400", "57600", "115200"};
const char hex_stop[HEX_STOP_MAX][HEX_STOP_SIZE] = {"1", "2"};
const char hex_data[HEX_DATA_MAX][HEX_DATA_SIZE] = {"5", "6", "7", "8"};
const char hex_flow[HEX_FLOW_MAX][HEX_FLOW_SIZE] = {"RTS", "XON", "NONE"};
const char hex_sum[HEX_SUM_MAX][HEX_SUM_SIZE] = {"CRC16", "CRC32", "SUM", "XOR"};
const char hex_protocol[HEX_PROTOCOL_MAX][HEX_PROTOCOL_SIZE] = {"Dump", "XModem", "XModem CRC",
                                                               "XModem 1K"};
const char hex_view[HEX_VIEW_MAX][HEX_VIEW_SIZE] = {"Hexadecimal", "ASCII", "ANSI", "HDLC",
                                                    "PPP",         "ICNI",  "Terminal"};
const char hex_frame[HEX_FRAME_MAX][HEX_FRAME_SIZE] = {"None", "HDLC", "PPP", "ICNI"};

HEX_OBJ_TYP hex_obj[HEX_MAX_PORT];

const HEX_COLOUR_TYP hex_colour[HEX_MAX_PORT] = {{0x00FF0000, 0x0000FF00}, {0x007F0000, 0x00007F00}};
const HEX_COLOUR_TYP hex_rgb[HEX_MAX_PORT] = {{0x0000FF, 0x00FF00}, {0x00007F, 0x007F00}};

int hex_run = 1;
int hex_view_mode = HEX_HEX_VIEW;
int hex_ascii = 0;
int hex_send_port = 0;
int hex_local_echo = 1;
int hex_log = 0;
int hex_send_file = 1;
std::uint16_t hex_time_stamp = 0;
unsigned hex_timer = 0;
DialogHost* hex_hwnd = nullptr;

namespace {

constexpr int kIndicator[HEX_MAX_PORT] = {IDC_COM1_STATE, IDC_COM2_STATE};

// The selectors of one terminal port's settings.
struct PortSelectors {
  int speed;
  int data;
  int stop;
  int parity;
  int flow;
  int binding;
};
constexpr PortSelectors kSelectors[HEX_MAX_PORT] = {
    {IDC_SPEED1, IDC_DATA1, IDC_STOP1, IDC_PARITY1, IDC_FLOW1, IDC_PORTA},
    {IDC_SPEED2, IDC_DATA2, IDC_STOP2, IDC_PARITY2, IDC_FLOW2, IDC_PORTB}};

char flow_code(const char* flow) {
  if (flow[0] == 'R') return 'H';
  if (flow[0] == 'X') return 'S';
  return 'N';
}

// A selector's text as an unsigned decimal number; `fallback` when it is not one.
unsigned text_as_number(const std::string& text, unsigned fallback) {
  if (text.empty() || text.size() > 9) return fallback;
  unsigned value = 0;
  for (const char ch : text) {
    if (ch < '0' || ch > '9') return fallback;
    value = value * 10 + static_cast<unsigned>(ch - '0');
  }
  return value;
}

template <std::size_t Width>
void fill_selector(DialogHost& dialog, int id, std::span<const char[Width]> table, int selected) {
  for (const char* entry : table) dialog.add_entry(id, std::string_view(entry, strnlen(entry, Width)));
  dialog.select_entry(id, selected);
}

// The device a serial port number stands for, as a person names it.
std::string device_label(int portnum) {
  const std::string path = serial::device_path(portnum);
  return path.empty() ? "COM" + std::to_string(portnum + 1) : path;
}

// Why the last call on a terminal port's serial port failed, in words: for a port that is not open,
// why it could not be opened; otherwise the OS's reason `error`.
std::string port_failure(const HEX_OBJ_TYP& obj, int error) {
  if (obj.err < 0 && obj.err != TORVEL_WIN32ERR) {
    const std::string why = serial::open_failure(obj.portnum);
    return why.empty() ? device_label(obj.portnum) + ": not open" : why;
  }
  return hex_os_reason(device_label(obj.portnum), error);
}

// Reports a failed setting. errno was cleared before the library call, so the number shown is the
// failure's own (0 for a port that is not open), not one left over from an earlier call.
void report_reconfigure_failure(const HEX_OBJ_TYP& obj) {
  const int error = errno;
  hex_err_msg("Error reconfiguring comm port parameters", error, port_failure(obj, error));
}

// The indicator's hint names the line in effect: a new rate shows there at once.
void apply_speed(DialogHost& dialog, int port) {
  HEX_OBJ_TYP& obj = hex_obj[port];
  obj.baud = dialog.selected_entry(kSelectors[port].speed);
  obj.err = SioBaud(obj.portnum, static_cast<unsigned>(obj.baud));
  hex_show_devices(dialog);
}

// The Speed field shows the rate in effect: its entry, or the typed rate with no entry selected.
void show_speed(DialogHost& dialog, int port) {
  const int id = kSelectors[port].speed;
  const int baud = hex_obj[port].baud;
  if (baud >= 0 && baud < HEX_BAUD_MAX) {
    dialog.select_entry(id, baud);
    return;
  }
  dialog.select_entry(id, -1);
  dialog.set_text(id, std::to_string(hex_port_rate(port)));
}

std::string_view trimmed(std::string_view text) {
  const std::size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// A rate typed in the Speed field is applied through the library's path for any rate: a code
// above 9 is the rate itself. Lower rates cannot be asked for that way, and no device runs at them.
void apply_typed_speed(DialogHost& dialog, int port) {
  HEX_OBJ_TYP& obj = hex_obj[port];
  const int id = kSelectors[port].speed;
  const std::string typed(trimmed(dialog.text(id)));
  if (const int entry = hex_entry_named(dialog, id, typed); entry >= 0) {
    if (entry != obj.baud) {
      dialog.select_entry(id, entry);
      apply_speed(dialog, port);
    }
    show_speed(dialog, port);
    return;
  }
  const unsigned rate = text_as_number(typed, 0);
  if (rate == 0 || rate == hex_port_rate(port)) {  // no rate, or the one in effect: nothing to apply
    show_speed(dialog, port);
    return;
  }
  const bool expressible = rate >= BaudValue.size();
  // An absent port has no device to refuse the rate: it is kept for when the port opens, as a
  // rate chosen from the list is, so a port waiting for its device comes up at the rate typed.
  if (!obj.present && expressible) {
    obj.baud = static_cast<int>(rate);
    show_speed(dialog, port);
    return;
  }
  errno = 0;
  const int result = expressible ? SioBaud(obj.portnum, rate) : 0;
  if (result > 0) {
    obj.err = result;
    obj.baud = static_cast<int>(rate);
    show_speed(dialog, port);
    return;
  }
  const int error = expressible ? errno : EINVAL;
  obj.err = result;
  const std::string why = port_failure(obj, error);
  // The driver may have settled on another rate: the line goes back to the one in effect.
  if (obj.present) SioBaud(obj.portnum, static_cast<unsigned>(obj.baud));
  hex_err_msg("Error reconfiguring comm port parameters", error, why);
  show_speed(dialog, port);
}

// The indicator's hint names the line the device runs, read back: a change shows there at once.
void apply_parms(DialogHost& dialog, int port) {
  HEX_OBJ_TYP& obj = hex_obj[port];
  errno = 0;
  obj.err = SioParms(obj.portnum, obj.parity, obj.stopbits, obj.databits);
  if (obj.err != 0) report_reconfigure_failure(obj);
  hex_show_devices(dialog);
}

void apply_data(DialogHost& dialog, int port) {
  hex_obj[port].databits = static_cast<int>(text_as_number(dialog.text(kSelectors[port].data), 8));
  apply_parms(dialog, port);
}

void apply_stop(DialogHost& dialog, int port) {
  unsigned stop = text_as_number(dialog.text(kSelectors[port].stop), 0);
  if (stop == 1) stop = 0;  // the shown "1" is the one-stop-bit code 0; "2" is already code 2
  hex_obj[port].stopbits = static_cast<int>(stop);
  apply_parms(dialog, port);
}

void apply_parity(DialogHost& dialog, int port) {
  hex_obj[port].parity = dialog.selected_entry(kSelectors[port].parity);
  apply_parms(dialog, port);
}

void apply_flow(DialogHost& dialog, int port) {
  HEX_OBJ_TYP& obj = hex_obj[port];
  const std::string text = dialog.text(kSelectors[port].flow);
  std::snprintf(obj.flow, sizeof obj.flow, "%s", text.c_str());
  errno = 0;
  obj.err = SioFlow(obj.portnum, flow_code(obj.flow));
  if (obj.err != 0) report_reconfigure_failure(obj);
  hex_show_devices(dialog);
}

// Opens the serial port a terminal port is bound to and gives it the port's stored speed and
// character format; true when it opened.
bool open_bound_port(HEX_OBJ_TYP& obj) {
  obj.err = SioReset(obj.portnum, HEX_QUEUE_SIZE, HEX_QUEUE_SIZE);
  obj.present = obj.err == 0 ? 1 : 0;
  if (obj.present) {
    obj.err = SioBaud(obj.portnum, static_cast<unsigned>(obj.baud));
    obj.err = SioParms(obj.portnum, obj.parity, obj.stopbits, obj.databits);
  }
  return obj.present != 0;
}

// Closes the serial port the terminal port was bound to and opens the one its selector names, with
// the terminal port's stored settings.
void rebind(DialogHost& dialog, int port) {
  HEX_OBJ_TYP& obj = hex_obj[port];
  // An absent terminal port holds nothing open; its number may be the other terminal port's, whose
  // open port must not be closed under it.
  if (obj.present) obj.err = SioDone(obj.portnum);
  obj.portnum = dialog.selected_entry(kSelectors[port].binding);
  if (open_bound_port(obj)) {
    SioFlow(obj.portnum, flow_code(obj.flow));
    SioDTR(obj.portnum, 'S');
  }
  hex_reconnect_follow(port, PortChange::Bound);
  hex_show_presence(dialog, port);
}

// The switches as every run starts.
void set_start_switches() {
  hex_run = 1;
  hex_ascii = 0;
  hex_log = 0;
  hex_send_port = 0;
  hex_send_file = 1;
  hex_view_mode = HEX_HEX_VIEW;
  hex_local_echo = 1;
  hex_time_stamp = 0;
}

}  // namespace

void hex_init(DialogHost& hwndDlg) {
  for (int i = 0; i < HEX_MAX_PORT; ++i) {
    HEX_OBJ_TYP& obj = hex_obj[i];
    hwndDlg.set_check(kIndicator[i], Check::Unchecked);
    hwndDlg.set_check(kIndicator[i], Check::Checked);
    obj.portnum = i;
    std::snprintf(obj.portname, sizeof obj.portname, "COM%d", i);
    obj.baud = static_cast<int>(Baud9600);
    obj.databits = 8;
    obj.parity = 0;
    obj.stopbits = 0;
    obj.ansi_state = 0;
    obj.msgindex = 0;
    obj.msglength = 255;
    obj.bitcnt = 0;
    obj.byte = 0;
    obj.onecnt = 0;
    if (open_bound_port(obj)) {
      SioDTR(obj.portnum, 'S');
      SioRTS(obj.portnum, 'C');
    }
    SioFlow(obj.portnum, 'N');
    hex_reconnect_follow(i, PortChange::Started);
    hex_show_presence(hwndDlg, i);
  }

  set_start_switches();

  for (const PortSelectors& port : kSelectors)
    fill_selector<HEX_PARITY_SIZE>(hwndDlg, port.parity, hex_parity, 0);
  for (const PortSelectors& port : kSelectors)
    fill_selector<HEX_BAUD_SIZE>(hwndDlg, port.speed, hex_baudcode, static_cast<int>(Baud9600));
  for (const PortSelectors& port : kSelectors)
    fill_selector<HEX_DATA_SIZE>(hwndDlg, port.data, hex_data, 3);
  for (const PortSelectors& port : kSelectors)
    fill_selector<HEX_STOP_SIZE>(hwndDlg, port.stop, hex_stop, 0);
  for (const PortSelectors& port : kSelectors)
    fill_selector<HEX_FLOW_SIZE>(hwndDlg, port.flow, hex_flow, 2);
  fill_selector<HEX_SUM_SIZE>(hwndDlg, IDC_SUM, hex_sum, HEX_CRC16);
  fill_selector<HEX_PROTOCOL_SIZE>(hwndDlg, IDC_PROTOCOL, hex_protocol, HEX_DUMP);
  fill_selector<HEX_COMSTR_SIZE>(hwndDlg, IDC_PORTA, hex_portnames, 0);
  fill_selector<HEX_COMSTR_SIZE>(hwndDlg, IDC_PORTB, hex_portnames, 1);
  fill_selector<HEX_VIEW_SIZE>(hwndDlg, IDC_VIEW, hex_view, HEX_HEX_VIEW);
  fill_selector<HEX_FRAME_SIZE>(hwndDlg, IDC_FRAME, hex_frame, HEX_NO_FRAME);
  hwndDlg.add_entry(IDC_MSG, "");
  hwndDlg.select_entry(IDC_MSG, 0);

  hwndDlg.check_radio(IDR_LOG, IDR_NOLOG, IDR_NOLOG);
  hwndDlg.check_radio(IDR_RUN, IDR_STOP, IDR_RUN);
  hwndDlg.check_radio(IDR_COM1, IDR_COM2, IDR_COM1);
  hwndDlg.check_radio(IDR_SENDFILE, IDR_GETFILE, IDR_SENDFILE);
  hwndDlg.set_check(IDC_ECHO, Check::Checked);
  hwndDlg.set_text(IDT_PROGRESS, "");
}

void hex_reset_state() {
  std::memset(hex_obj, 0, sizeof hex_obj);
  set_start_switches();
  hex_timer = 0;
  hex_hwnd = nullptr;
  hex_forget_claim();
  hex_readers_stop();
  hex_record_stop();
}

void hex_quit(DialogHost& hwndDlg) {
  hex_transfer_quit(hwndDlg);
  for (HEX_OBJ_TYP& obj : hex_obj) {
    // An absent terminal port has nothing open to close (and its number may be the other's).
    if (!obj.present) continue;
    // Lower the lines while the port is still ours, so the far end sees the terminal leave.
    SioDTR(obj.portnum, 'C');
    SioRTS(obj.portnum, 'C');
    errno = 0;
    obj.err = SioDone(obj.portnum);
    obj.present = 0;
    if (obj.err == 0) {
      const int error = errno;
      hex_err_msg("Error closing comm port", error, hex_os_reason(device_label(obj.portnum), error));
    }
  }
  hex_log_close(hwndDlg);
  hex_capture_close(hwndDlg);
  hex_record_stop();
  if (hex_timer != 0) {
    hwndDlg.stop_timer(HEX_SCREEN_TIMER);
    hex_timer = 0;
  }
}

// An indicator is always cleared first, so every change of state is a fresh transition. Its hint
// names the device and why an absent port is absent: it changes with the presence.
void hex_show_presence(DialogHost& hwndDlg, int port) {
  hwndDlg.set_check(kIndicator[port], Check::Unchecked);
  hwndDlg.set_check(kIndicator[port], hex_obj[port].present ? Check::Checked : Check::Indeterminate);
  hex_show_devices(hwndDlg);
  if (hex_obj[port].present) hex_port_back(hwndDlg, port);
  hex_capture_follow();
  hex_readers_follow();
}

void hex_port_lost(DialogHost& hwndDlg, int port) {
  HEX_OBJ_TYP& obj = hex_obj[port];
  if (!obj.present) return;
  obj.err = SioDone(obj.portnum);
  obj.present = 0;
  hex_reconnect_follow(port, PortChange::Lost);
  hex_show_presence(hwndDlg, port);
}

// DTR raised and RTS lowered as at start-up, then the dialog's flow control (which may take RTS).
bool hex_reopen(DialogHost& hwndDlg, int port) {
  HEX_OBJ_TYP& obj = hex_obj[port];
  if (!open_bound_port(obj)) return false;
  SioDTR(obj.portnum, 'S');
  SioRTS(obj.portnum, 'C');
  SioFlow(obj.portnum, flow_code(obj.flow));
  hex_show_presence(hwndDlg, port);
  return true;
}

std::string hex_port_name(int port) { return port == 0 ? "Port A" : "Port B"; }

unsigned hex_port_rate(int port) {
  const int baud = hex_obj[port].baud;
  return baud >= 0 && baud < HEX_BAUD_MAX ? BaudValue[static_cast<std::size_t>(baud)] : static_cast<unsigned>(baud);
}

int hex_entry_holding(const DialogHost& hwndDlg, int id, std::string_view text) {
  const auto same_letter = [](char a, char b) {
    return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
  };
  for (int i = 0; i < hwndDlg.entry_count(id); ++i) {
    const std::string entry = hwndDlg.entry_text(id, i);
    if (std::equal(entry.begin(), entry.end(), text.begin(), text.end(), same_letter)) return i;
  }
  return -1;
}

int hex_entry_named(const DialogHost& hwndDlg, int id, std::string_view text) {
  return hex_entry_holding(hwndDlg, id, trimmed(text));
}

void hex_speed1KillFocus(DialogHost& hwndDlg) {
  apply_typed_speed(hwndDlg, 0);
  hex_show_devices(hwndDlg);
}

void hex_speed2KillFocus(DialogHost& hwndDlg) {
  apply_typed_speed(hwndDlg, 1);
  hex_show_devices(hwndDlg);
}

void hex_speed1SelChange(DialogHost& hwndDlg) { apply_speed(hwndDlg, 0); }
void hex_data1SelChange(DialogHost& hwndDlg) { apply_data(hwndDlg, 0); }
void hex_stop1SelChange(DialogHost& hwndDlg) { apply_stop(hwndDlg, 0); }
void hex_parity1SelChange(DialogHost& hwndDlg) { apply_parity(hwndDlg, 0); }
void hex_flow1SelChange(DialogHost& hwndDlg) { apply_flow(hwndDlg, 0); }
void hex_speed2SelChange(DialogHost& hwndDlg) { apply_speed(hwndDlg, 1); }
void hex_data2SelChange(DialogHost& hwndDlg) { apply_data(hwndDlg, 1); }
void hex_stop2SelChange(DialogHost& hwndDlg) { apply_stop(hwndDlg, 1); }
void hex_parity2SelChange(DialogHost& hwndDlg) { apply_parity(hwndDlg, 1); }
void hex_flow2SelChange(DialogHost& hwndDlg) { apply_flow(hwndDlg, 1); }

void hex_PortASelChange(DialogHost& hwndDlg) { rebind(hwndDlg, 0); }
void hex_PortBSelChange(DialogHost& hwndDlg) { rebind(hwndDlg, 1); }
