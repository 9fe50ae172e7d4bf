#include "core/hex_message.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <span>
#include <string>
#include <string_view>

#include "core/hex_display.h"
#include "core/hex_log.h"
#include "core/hex_report.h"
#include "core/hex_send.h"
#include "core/resource.h"
#include "protocol/hex_pairs.h"

namespace {

constexpr std::size_t kLongestText = HEX_MAX_STRING - 1;
// "\nTx%d %5d " is 11 characters, then three a byte.
constexpr std::size_t kEchoSize = 11 + 3 * kLongestMessage + 1;

// Shows the echo and logs it as sent on `port`.
void echo_sent(platform::DialogHost& hwnd, int port, std::string_view echo) {
  if (hex_local_echo) hex_show_in_trace(hwnd, hex_colour[port].tx, echo);
  const std::string text(echo);
  hex_save_tx_log(port, text.c_str(), static_cast<int>(text.size()));
}

void send_text(platform::DialogHost& hwnd, int port, const HexMessageText& text) {
  std::array<char, HEX_MAX_STRING + 2> line{};
  const int length = std::snprintf(line.data(), line.size(), "%s\r\n", text.data());
  if (!hex_send_bytes(hwnd, port, line.data(), length)) return;
  echo_sent(hwnd, port, std::string_view(line.data(), static_cast<std::size_t>(length)));
}

void send_pairs(platform::DialogHost& hwnd, int port, const HexMessageText& text) {
  std::array<char, kLongestMessage> data{};
  const int n = hex_hexstr_to_bin(text.data(), data.data());
  // The echo shows the bytes as they were understood; with none, the text as typed.
  std::array<char, 3 * kLongestMessage + 1> rendered{};
  if (n > 0) hex_to_hexstr(data.data(), rendered.data(), n);
  std::array<char, kEchoSize> echo{};
  const int length = std::snprintf(echo.data(), echo.size(), "\nTx%d %5d %s", port + 1,
                                   static_cast<int>(hex_time_stamp), n > 0 ? rendered.data() : text.data());
  if (!hex_send_bytes(hwnd, port, data.data(), n)) return;
  echo_sent(hwnd, port, std::string_view(echo.data(), std::min<std::size_t>(length, echo.size() - 1)));
}

}  // namespace

int hex_hexstr_to_bin(const char* hexstr, char* data) {
  const std::string_view text(hexstr);
  const std::size_t room = std::min<std::size_t>((text.size() + 2) / 3, HEX_MAX_STRING);
  return static_cast<int>(
      protocol::parse_hex_pairs(text, std::span(reinterpret_cast<std::uint8_t*>(data), room)));
}

bool hex_read_msg(platform::DialogHost& hwnd, HexMessageText& text) {
  const std::string field = hwnd.text(IDC_MSG);
  const std::string_view shown(field.c_str());  // a text ends at its first NUL
  if (shown.size() > kLongestText) {
    char box[96];
    std::snprintf(box, sizeof box, "Message too long: %zu characters, at most %zu", shown.size(),
                  kLongestText);
    hex_dbg_msg(box);
    return false;
  }
  std::memcpy(text.data(), shown.data(), shown.size());
  text[shown.size()] = '\0';
  return true;
}

void hex_send_msg(platform::DialogHost& hwnd) {
  HexMessageText text{};
  if (!hex_read_msg(hwnd, text)) return;
  const int port = hex_send_port;
  if (hex_ascii)
    send_text(hwnd, port, text);
  else
    send_pairs(hwnd, port, text);
}

void hex_msg_remember(platform::DialogHost& hwnd) {
  const std::string text = hwnd.text(IDC_MSG);
  if (hex_entry_holding(hwnd, IDC_MSG, text) >= 0) return;
  hwnd.add_entry(IDC_MSG, text);
  if (hwnd.entry_count(IDC_MSG) > HEX_MAX_MSG) hwnd.remove_entry(IDC_MSG, HEX_MAX_MSG - 1);
}
