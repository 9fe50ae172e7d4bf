#include "shell/settings_values.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstring>
#include <map>
#include <optional>
#include <string_view>
#include <utility>

#include "core/hex.h"
#include "core/resource.h"
#include "serial/devices.h"
#include "shell/command_line.h"

using platform::DialogHost;
using platform::SettingsValues;
using platform::WindowPlacement;

namespace {

constexpr const char* kPortGroups[HEX_MAX_PORT] = {"port-a", "port-b"};
constexpr char kPortLetters[HEX_MAX_PORT] = {'a', 'b'};
constexpr char kMessages[] = "messages/";

// A window larger than this, or further off the desktop's origin, is no window a desktop shows.
constexpr int kLargestWindow = 16384;

using PortField = std::optional<std::string> PortStartSettings::*;

// A port's setting: its name in the port's group, and the command-line option (with the port's
// letter after it) whose check its value passes.
struct PortKey {
  const char* name;
  const char* option;
  PortField field;
};
constexpr PortKey kPortKeys[] = {
    {"device", "port-", &PortStartSettings::device},       {"baud", "baud-", &PortStartSettings::speed},
    {"databits", "databits-", &PortStartSettings::data_bits}, {"stopbits", "stopbits-", &PortStartSettings::stop_bits},
    {"parity", "parity-", &PortStartSettings::parity},     {"flow", "flow-", &PortStartSettings::flow},
};

constexpr const char* kWindowKeys[] = {"window/x", "window/y", "window/width", "window/height", "window/maximized"};
constexpr const char* kOtherKeys[] = {"display/view", "display/local-echo", "send/port",         "frame/type",
                                     "frame/check",  "terminal/size",      "terminal/decoding", "terminal/backspace"};

// The terminal's choices in the words the file keeps.
constexpr std::pair<terminal::Decoding, const char*> kDecodings[] = {{terminal::Decoding::Utf8, "utf-8"},
                                                                    {terminal::Decoding::Latin1, "latin-1"}};
constexpr std::pair<terminal::BackspaceSends, const char*> kBackspaces[] = {
    {terminal::BackspaceSends::Delete, "del"}, {terminal::BackspaceSends::Backspace, "bs"}};

std::string lower(std::string_view text) {
  std::string result(text);
  for (char& c : result) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return result;
}

std::string port_key(int port, const PortKey& key) { return std::string(kPortGroups[port]) + "/" + key.name; }

// ---- Values read: each checked, a refused one named ----

template <std::size_t N, std::size_t Width>
std::optional<std::string> entry_of(const char (&table)[N][Width], std::string_view text) {
  for (const auto& entry : table) {
    const std::string_view name(entry, strnlen(entry, Width));
    if (lower(name) == lower(text)) return std::string(name);
  }
  return std::nullopt;
}

std::optional<bool> yes_or_no(std::string_view text) {
  const std::string word = lower(text);
  if (word == "true" || word == "yes" || word == "on" || word == "1") return true;
  if (word == "false" || word == "no" || word == "off" || word == "0") return false;
  return std::nullopt;
}

std::optional<int> whole_number(std::string_view text, int lowest, int highest) {
  int value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  const bool whole = error == std::errc{} && end == text.data() + text.size();
  if (!whole || value < lowest || value > highest) return std::nullopt;
  return value;
}

class Reader {
 public:
  Reader(const SettingsValues& values, std::vector<std::string>& refused) : values_(values), refused_(refused) {}

  // The value under `key` made usable by `convert`; nothing (and the key named) when it is not.
  template <class Convert>
  auto take(const std::string& key, Convert convert) -> decltype(convert(std::string_view())) {
    const auto found = values_.find(key);
    if (found == values_.end()) return std::nullopt;
    auto value = convert(std::string_view(found->second));
    if (!value) refused_.push_back(key);
    return value;
  }

  const SettingsValues& values() const { return values_; }
  void refuse(const std::string& key) { refused_.push_back(key); }

 private:
  const SettingsValues& values_;
  std::vector<std::string>& refused_;
};

void read_ports(Reader& reader, StartSettings& settings) {
  for (int port = 0; port < HEX_MAX_PORT; ++port) {
    for (const PortKey& key : kPortKeys) {
      const std::string option = key.option + std::string(1, kPortLetters[port]);
      const auto check = [&option](std::string_view text) { return command_line_value(option, text); };
      settings.ports[static_cast<std::size_t>(port)].*key.field = reader.take(port_key(port, key), check);
    }
  }
}

// A message as the field would hold it: no NUL, and no longer than a message can be.
std::optional<std::string> message_text(std::string_view text) {
  if (text.find('\0') != std::string_view::npos || text.size() > static_cast<std::size_t>(HEX_MAX_STRING - 1))
    return std::nullopt;
  return std::string(text);
}

void read_messages(Reader& reader, StartSettings& settings) {
  std::map<int, std::string> numbered;
  for (const auto& [key, text] : reader.values()) {
    if (key.rfind(kMessages, 0) != 0) continue;
    const std::string_view name = std::string_view(key).substr(std::strlen(kMessages));
    const std::optional<int> number = whole_number(name, 1, HEX_MAX_MSG);
    std::optional<std::string> message = number ? reader.take(key, message_text) : std::nullopt;
    if (!number) reader.refuse(key);
    if (message) numbered[*number] = std::move(*message);
  }
  if (numbered.empty()) return;
  settings.messages.emplace();
  for (auto& [number, message] : numbered) settings.messages->push_back(std::move(message));
}

// Size and, when both are there, position; no size, no placement.
void read_window(Reader& reader, StartSettings& settings) {
  const auto size = [](std::string_view text) { return whole_number(text, 1, kLargestWindow); };
  const auto offset = [](std::string_view text) { return whole_number(text, -kLargestWindow, kLargestWindow); };
  const std::optional<int> width = reader.take("window/width", size);
  const std::optional<int> height = reader.take("window/height", size);
  const std::optional<int> x = reader.take("window/x", offset);
  const std::optional<int> y = reader.take("window/y", offset);
  const std::optional<bool> maximized = reader.take("window/maximized", yes_or_no);
  if (!width || !height) return;
  WindowPlacement placement;
  placement.width = *width;
  placement.height = *height;
  if (x && y) placement.position = platform::WindowPoint{*x, *y};
  placement.maximized = maximized.value_or(false);
  settings.placement = placement;
}

// Columns by rows, as "132x43", within what the terminal can be.
std::optional<platform::TerminalSize> terminal_size(std::string_view text) {
  const std::size_t by = lower(text).find('x');
  if (by == std::string_view::npos) return std::nullopt;
  const std::optional<int> columns = whole_number(text.substr(0, by), terminal::kMinColumns, terminal::kMaxColumns);
  const std::optional<int> rows = whole_number(text.substr(by + 1), 1, terminal::kMaxRows);
  if (!columns || !rows) return std::nullopt;
  return platform::TerminalSize{*rows, *columns};
}

template <class Value, std::size_t N>
std::optional<Value> word_value(const std::pair<Value, const char*> (&words)[N], std::string_view text) {
  for (const auto& [value, word] : words)
    if (lower(text) == word) return value;
  return std::nullopt;
}

template <class Value, std::size_t N>
std::string value_word(const std::pair<Value, const char*> (&words)[N], Value value) {
  for (const auto& [known, word] : words)
    if (known == value) return word;
  return words[0].second;
}

void read_terminal(Reader& reader, StartSettings& settings) {
  settings.terminal_size = reader.take("terminal/size", terminal_size);
  settings.terminal_decoding =
      reader.take("terminal/decoding", [](std::string_view text) { return word_value(kDecodings, text); });
  settings.terminal_backspace =
      reader.take("terminal/backspace", [](std::string_view text) { return word_value(kBackspaces, text); });
}

void put_terminal(SettingsValues& values, const StartSettings& settings) {
  if (const auto& size = settings.terminal_size)
    values["terminal/size"] = std::to_string(size->columns) + "x" + std::to_string(size->rows);
  if (settings.terminal_decoding) values["terminal/decoding"] = value_word(kDecodings, *settings.terminal_decoding);
  if (settings.terminal_backspace) values["terminal/backspace"] = value_word(kBackspaces, *settings.terminal_backspace);
}

std::optional<int> port_letter(std::string_view text) {
  const std::string word = lower(text);
  if (word == "a") return 0;
  if (word == "b") return 1;
  return std::nullopt;
}

// ---- Values written ----

std::string_view shown(const char* entry, std::size_t width) { return {entry, strnlen(entry, width)}; }

// The View selector's entry as the command line names it: "hex" for the first.
std::string view_word(const std::string& entry) {
  return entry == shown(hex_view[HEX_HEX_VIEW], HEX_VIEW_SIZE) ? "hex" : lower(entry);
}

void put_window(SettingsValues& values, const WindowPlacement& placement) {
  values["window/width"] = std::to_string(placement.width);
  values["window/height"] = std::to_string(placement.height);
  values["window/maximized"] = placement.maximized ? "true" : "false";
  if (!placement.position) return;
  values["window/x"] = std::to_string(placement.position->x);
  values["window/y"] = std::to_string(placement.position->y);
}

// ---- The dialog's settings ----

// The device a serial port number stands for: an adapter's by-id link, which stays when the
// kernel names it anew, else its path.
std::optional<std::string> bound_device(int portnum) {
  std::string device = serial::device_link(portnum);
  if (device.empty()) device = serial::device_path(portnum);
  if (device.empty()) return std::nullopt;
  return device;
}

PortStartSettings port_settings(int port) {
  const HEX_OBJ_TYP& obj = hex_obj[port];
  PortStartSettings settings;
  settings.device = bound_device(obj.portnum);
  settings.speed = std::to_string(hex_port_rate(port));
  if (obj.databits >= 5 && obj.databits <= 8) settings.data_bits = std::to_string(obj.databits);
  settings.stop_bits.emplace(1, obj.stopbits == 2 ? '2' : '1');  // one character: GCC 12 -Wrestrict misreads a literal assigned here
  if (obj.parity >= 0 && obj.parity < HEX_PARITY_MAX) settings.parity = shown(hex_parity[obj.parity], HEX_PARITY_SIZE);
  // The flow selector's text as last applied, cut to two letters: its first names it.
  settings.flow = obj.flow[0] == 'R' ? "RTS" : obj.flow[0] == 'X' ? "XON" : "NONE";
  return settings;
}

std::optional<std::string> selected_text(const DialogHost& dialog, int id) {
  const int entry = dialog.selected_entry(id);
  if (entry < 0) return std::nullopt;
  return dialog.entry_text(id, entry);
}

std::vector<std::string> message_list(const DialogHost& dialog) {
  std::vector<std::string> messages;
  for (int entry = 0; entry < dialog.entry_count(IDC_MSG); ++entry)
    if (std::string text = dialog.entry_text(IDC_MSG, entry); !text.empty()) messages.push_back(std::move(text));
  return messages;
}

}  // namespace

bool is_settings_key(const std::string& key) {
  if (key.rfind(kMessages, 0) == 0) return true;
  for (int port = 0; port < HEX_MAX_PORT; ++port)
    for (const PortKey& known : kPortKeys)
      if (key == port_key(port, known)) return true;
  const auto named = [&key](const char* known) { return key == known; };
  return std::any_of(std::begin(kWindowKeys), std::end(kWindowKeys), named) ||
         std::any_of(std::begin(kOtherKeys), std::end(kOtherKeys), named);
}

std::string device_key(int port) { return port_key(port, kPortKeys[0]); }

StartSettings settings_from_values(const SettingsValues& values, std::vector<std::string>& refused) {
  Reader reader(values, refused);
  StartSettings settings;
  read_ports(reader, settings);
  settings.view = reader.take("display/view", [](std::string_view text) { return command_line_value("view", text); });
  settings.local_echo = reader.take("display/local-echo", yes_or_no);
  settings.send_port = reader.take("send/port", port_letter);
  settings.frame = reader.take("frame/type", [](std::string_view text) { return entry_of(hex_frame, text); });
  settings.check = reader.take("frame/check", [](std::string_view text) { return entry_of(hex_sum, text); });
  read_messages(reader, settings);
  read_window(reader, settings);
  read_terminal(reader, settings);
  return settings;
}

SettingsValues values_of(const StartSettings& settings) {
  SettingsValues values;
  for (int port = 0; port < HEX_MAX_PORT; ++port) {
    const PortStartSettings& given = settings.ports[static_cast<std::size_t>(port)];
    for (const PortKey& key : kPortKeys) {
      const std::optional<std::string>& text = given.*key.field;
      // Devices and rates are kept as given; entries as the command line writes them.
      const bool as_given = key.field == &PortStartSettings::device || key.field == &PortStartSettings::speed;
      if (text) values[port_key(port, key)] = as_given ? *text : lower(*text);
    }
  }
  if (settings.view) values["display/view"] = view_word(*settings.view);
  if (settings.local_echo) values["display/local-echo"] = *settings.local_echo ? "true" : "false";
  if (settings.send_port) values["send/port"] = std::string(1, kPortLetters[*settings.send_port == 1 ? 1 : 0]);
  if (settings.frame) values["frame/type"] = lower(*settings.frame);
  if (settings.check) values["frame/check"] = lower(*settings.check);
  if (settings.messages)
    for (std::size_t i = 0; i < settings.messages->size(); ++i)
      values[kMessages + std::to_string(i + 1)] = (*settings.messages)[i];
  if (settings.placement) put_window(values, *settings.placement);
  put_terminal(values, settings);
  return values;
}

StartSettings dialog_settings(const DialogHost& dialog) {
  StartSettings settings;
  for (int port = 0; port < HEX_MAX_PORT; ++port) settings.ports[static_cast<std::size_t>(port)] = port_settings(port);
  if (hex_view_mode >= 0 && hex_view_mode < HEX_VIEW_MAX) settings.view = shown(hex_view[hex_view_mode], HEX_VIEW_SIZE);
  settings.frame = selected_text(dialog, IDC_FRAME);
  settings.check = selected_text(dialog, IDC_SUM);
  settings.local_echo = hex_local_echo != 0;
  settings.send_port = hex_send_port;
  settings.messages = message_list(dialog);
  settings.placement = dialog.placement();
  const platform::TerminalSurface& terminal = dialog.terminal();
  settings.terminal_size = terminal.size();
  settings.terminal_decoding = terminal.decoding();
  settings.terminal_backspace = terminal.backspace();
  return settings;
}
