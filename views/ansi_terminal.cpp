#include "views/ansi_terminal.h"

#include <string>
#include <string_view>

#include "core/hex.h"
#include "core/hex_display.h"
#include "core/hex_log.h"
#include "core/resource.h"
#include "core/screen_ops.h"
#include "core/hex_send.h"

int hex_escape_code = 0;

namespace {

// Sends bytes on the send port in one write; a failure is shown on the dialog's progress line.
bool send_bytes(platform::DialogHost* hwnd, std::string_view bytes) {
  if (hwnd == nullptr) return false;  // no dialog yet: nothing to send from
  return hex_send_bytes(*hwnd, hex_send_port, bytes.data(), static_cast<int>(bytes.size()));
}

// Sends a key's bytes on the send port in one write and logs them as sent; 1 when they were sent.
int send_key(std::string_view bytes) {
  if (!send_bytes(hex_hwnd, bytes)) return 0;
  const std::string text(bytes);
  hex_save_tx_log(hex_send_port, text.c_str(), static_cast<int>(text.size()));
  return 1;
}

int send_in_ansi_view(std::string_view bytes) { return hex_view_mode == HEX_ANSI_VIEW ? send_key(bytes) : 1; }

}  // namespace

int hex_ansi_up() { return send_in_ansi_view("\x1b[A"); }
int hex_ansi_down() { return send_in_ansi_view("\x1b[B"); }
int hex_ansi_right() { return send_in_ansi_view("\x1b[C"); }
int hex_ansi_left() { return send_in_ansi_view("\x1b[D"); }
int hex_ansi_home() { return send_in_ansi_view("\x1b[H"); }
int hex_ansi_end() { return send_in_ansi_view("\x1bOQ"); }
int hex_ansi_pg_up() { return send_in_ansi_view("\x1bOP"); }
int hex_ansi_pg_dn() { return send_in_ansi_view("\x1bOS"); }
int hex_ansi_return() { return send_in_ansi_view("\r\n"); }
int hex_ansi_escape() { return send_key("\x1b"); }
int hex_ansi_back() { return send_key("\b"); }

void hex_place_echo(platform::DialogHost& hwnd) {
  platform::DisplaySurface& screen = hwnd.screen();
  if (hex_local_echo != 0 && hex_view_mode != HEX_ANSI_VIEW) {
    const int end = screen.text_length();
    screen.set_selection(end, end);
  }
  hex_ansi_scroll(hwnd);
}

void hex_ansi_echo(platform::DialogHost& hwnd) {
  hex_place_echo(hwnd);
  hwnd.screen().set_insert_colour(hex_colour[hex_send_port].tx);
}

int hex_ansi_char(platform::DialogHost& hwnd, int ch) {
  if (ch == '\t') hwnd.set_focus(IDT_SCREEN);
  const char byte = static_cast<char>(ch);
  if (!send_bytes(&hwnd, std::string_view(&byte, 1))) return 0;
  hex_ansi_echo(hwnd);
  const char text[2] = {byte, '\0'};
  hex_save_tx_log(hex_send_port, text, 1);
  return 1;
}

void hex_screen_backdoor(platform::DialogHost& hwnd, int code) {
  hex_escape_code = code;
  hwnd.screen().inject_key(platform::VK_PROCESSKEY);
}
