#include "tests/core/core_fixture.h"

#include <cstdlib>
#include <cstring>

#include "core/hex.h"
#include "core/hex_display.h"
#include "serial/devices.h"
#include "serial/ser.h"
#include "shell/dialog_template.h"

namespace testsupport {
namespace {

// A scan of this folder finds no devices, whatever the machine has.
const std::string& empty_scan_root() {
  static const std::string root = [] {
    char pattern[] = "/tmp/quillport-empty-XXXXXX";
    const char* made = mkdtemp(pattern);
    return std::string(made != nullptr ? made : "/nonexistent-quillport-root");
  }();
  return root;
}

void reset_terminal_state() {
  std::memset(hex_obj, 0, sizeof hex_obj);
  hex_run = 1;
  hex_view_mode = HEX_HEX_VIEW;
  hex_ascii = 0;
  hex_send_port = 0;
  hex_local_echo = 1;
  hex_log = 0;
  hex_send_file = 1;
  hex_xmodem_busy = 0;
  hex_dump_busy = 0;
  hex_time_stamp = 0;
  hex_timer = 0;
  hex_hwnd = nullptr;
}

void forget_ports() {
  for (int number = 0; number < NBR_PORTS; ++number) {
    SioDone(number);
    serial::bind_device(number, "");
    const std::string variable = "QUILLPORT_COM" + std::to_string(number + 1);
    unsetenv(variable.c_str());
  }
  serial::reset_device_map();
}

}  // namespace

TerminalPorts::TerminalPorts() {
  serial::set_scan_roots(empty_scan_root(), empty_scan_root());
  forget_ports();
  reset_terminal_state();
}

TerminalPorts::~TerminalPorts() {
  forget_ports();
  reset_terminal_state();
}

PtyPair& TerminalPorts::bind_pty(int number) {
  ptys_.push_back(std::make_unique<PtyPair>());
  serial::bind_device(number, ptys_.back()->slave_path());
  return *ptys_.back();
}

CoreTest::CoreTest() : host(quillport_dialog()) {}

CoreTest::~CoreTest() { hex_log_close(host); }

std::vector<std::string> CoreTest::boxes() const {
  std::vector<std::string> shown;
  for (const auto& box : host.message_boxes()) shown.push_back(box.caption + ": " + box.text);
  return shown;
}

}  // namespace testsupport
