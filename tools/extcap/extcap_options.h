// What Wireshark asks of quillport-extcap, read from its command line.
//
// Wireshark runs an extcap program several times: to list its interfaces (--extcap-interfaces),
// to learn an interface's link types (--extcap-dlts) and settings (--extcap-config), and to capture
// (--capture --fifo F), each time naming the interface with --extcap-interface. Options take their
// value as the next argument or after '='. Other --extcap-* options a newer Wireshark may pass are
// taken and ignored, so a new Wireshark does not break the program.
#pragma once

#include <string>
#include <vector>

namespace extcap {

enum class Mode { Usage, Version, Interfaces, Dlts, Config, Capture, CheckFilter };

// The line settings the capture uses when it opens the port itself.
struct LineSettings {
  unsigned speed = 9600;
  int data_bits = 8;
  char parity = 'n';  // n, o, e, m, s
  int stop_bits = 1;  // 1 or 2
  char flow = 'n';    // n none, r RTS/CTS, x XON/XOFF
};

struct Request {
  Mode mode = Mode::Usage;
  std::string interface;
  std::string fifo;
  std::string capture_filter;
  LineSettings settings;
};

// The request, or why the arguments make none ("" when they do).
Request parse_request(const std::vector<std::string>& args, std::string& error);

// "9600 8N1, no flow control": the settings as Quillport writes them.
std::string describe_settings(const LineSettings& settings);

}  // namespace extcap
