// The command line takes any arguments a user or a launcher passes (NUL-separated in the input):
// reading them never fails hard, and a line accepted for a run holds only values its controls can
// show: a rate of digits, data and stop bits, parity and flow as their selectors' entries.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "shell/command_line.h"

namespace {

void require(bool condition) {
  if (!condition) std::abort();
}

bool one_of(const std::optional<std::string>& value, std::initializer_list<const char*> entries) {
  return !value || std::any_of(entries.begin(), entries.end(), [&](const char* entry) { return *value == entry; });
}

bool a_rate(const std::optional<std::string>& value) {
  return !value || (!value->empty() && value->size() <= 9 &&
                    std::all_of(value->begin(), value->end(), [](char c) { return c >= '0' && c <= '9'; }));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<std::string> args = {"quillport"};
  std::string arg;
  for (std::size_t i = 0; i < size; ++i) {
    if (data[i] == 0) {
      args.push_back(arg);
      arg.clear();
    } else {
      arg += static_cast<char>(data[i]);
    }
  }
  args.push_back(arg);
  std::vector<char*> argv;
  for (std::string& text : args) argv.push_back(text.data());

  const CommandLine line = parse_command_line(argv);
  require(line.action != StartAction::Error || !line.error.empty());
  if (line.action != StartAction::Run) return 0;
  for (const PortStartSettings& port : line.settings.ports) {
    require(a_rate(port.speed));
    require(one_of(port.data_bits, {"5", "6", "7", "8"}));
    require(one_of(port.stop_bits, {"1", "2"}));
    require(one_of(port.parity, {"NONE", "ODD", "EVEN", "MARK", "SPACE"}));
    require(one_of(port.flow, {"NONE", "RTS", "XON"}));
    require(!port.device || !port.device->empty());
  }
  return 0;
}
