// The port selectors and status indicators name the device behind each COM number, and an absent
// port's indicator says why it could not be opened.
#include "core/port_presentation.h"

#include <filesystem>
#include <string>
#include <string_view>

#include "core/hex.h"
#include "core/hex_reconnect.h"
#include "core/resource.h"
#include "serial/devices.h"
#include "serial/failure_kind.h"
#include "serial/line_in_effect.h"
#include "serial/net_ports.h"
#include "serial/ser.h"

namespace {

// The device itself, short: a link such as /dev/serial/by-id/... or a cable's end shows what it
// stands for ("ttyUSB0", "pts/3").
std::string device_name(const std::string& path) {
  constexpr std::string_view kDevices = "/dev/";
  if (path.empty()) return "(none)";
  std::error_code error;
  const std::string device = std::filesystem::canonical(path, error).string();
  const std::string& shown = error ? path : device;
  return shown.compare(0, kDevices.size(), kDevices) == 0 ? shown.substr(kDevices.size()) : shown;
}

// "9600 bit/s 8N1, no flow control".
std::string line_format(const serial::LineInEffect& line) {
  constexpr char kParity[] = "NOEMS";
  const char parity = line.parity >= 0 && line.parity < 5 ? kParity[line.parity] : '?';
  const char* flow = line.rts_cts    ? "RTS/CTS flow control"
                     : line.xon_xoff ? "XON/XOFF flow control"
                                     : "no flow control";
  return std::to_string(line.rate) + " bit/s " + std::to_string(line.data_bits) + parity +
         (line.stop_bits == TwoStopBits ? "2" : "1") + ", " + flow;
}

serial::LineInEffect chosen_line(int port) {
  const HEX_OBJ_TYP& obj = hex_obj[port];
  return {hex_port_rate(port), obj.databits, obj.parity, obj.stopbits, obj.flow[0] == 'R', obj.flow[0] == 'X'};
}

// The line as the device runs it, and, where the device kept something else than what the dialog
// chose (a pseudo-terminal always runs 8 data bits without parity), what was chosen.
std::string line_hint(int port) {
  const std::string chosen = line_format(chosen_line(port));
  serial::LineInEffect device;
  if (!serial::line_in_effect(hex_obj[port].portnum, device)) return chosen;
  const std::string in_effect = line_format(device);
  if (in_effect == chosen) return in_effect;
  return in_effect + "\nThe device keeps these settings; chosen were " + chosen;
}

std::string indicator_hint(int port) {
  const int number = hex_obj[port].portnum;
  const std::string path = serial::device_path(number);
  std::string hint = "COM" + std::to_string(number + 1) + (path.empty() ? "" : "  " + path);
  if (hex_obj[port].present) {
    const std::string note = serial::network_note(number);  // a network port's mode and far settings
    return hint + "\n" + line_hint(port) + (note.empty() ? "" : "\n" + note);
  }
  const std::string why = serial::open_failure(number);
  hint += "\n" + (why.empty() ? std::string("not open") : why);
  if (serial::failure_kind(serial::open_failure_error(number)) == serial::FailureKind::Permission)
    hint += "\nTo use serial ports, join the dialout group (sudo usermod -aG dialout $USER) and log in again.";
  return hint;
}

std::string with_line(std::string text, const std::string& line) {
  return line.empty() ? text : text + "\n" + line;
}

}  // namespace

void hex_show_devices(platform::DialogHost& hwnd) {
  for (int number = 0; number < HEX_LAST_PORT; ++number) {
    const std::string entry = std::string(hex_portnames[number]) + "  " + device_name(serial::device_path(number));
    hwnd.set_entry_text(IDC_PORTA, number, entry);
    hwnd.set_entry_text(IDC_PORTB, number, entry);
  }
  hwnd.set_tooltip(IDC_COM1_STATE, with_line(indicator_hint(0), hex_reconnect_hint(0)));
  hwnd.set_tooltip(IDC_COM2_STATE, with_line(indicator_hint(1), hex_reconnect_hint(1)));
}

