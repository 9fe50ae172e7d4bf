#include "views/ansi_terminal.h"

#include <string>
#include <string_view>

#include "core/hex.h"
#include "core/hex_display.h"
#include "core/resource.h"
#include "serial/ser.h"
#include "core/screen_ops.h"

int hex_escape_code = 0;

namespace {

// Sends a key's bytes on the send port in one write and logs them as sent.
void send_key(std::string_view bytes) {
  SioPuts(hex_obj[hex_send_port].portnum, bytes.data(), static_cast<unsigned>(bytes.size()));
  const std::string text(bytes);
  hex_save_tx_log(hex_send_port, text.c_str(), static_cast<int>(text.size()));
}

void send_in_ansi_view(std::string_view bytes) {
  if (hex_view_mode == HEX_ANSI_VIEW) send_key(bytes);
}

}  // namespace

void hex_ansi_up() { send_in_ansi_view("\x1b[A"); }
void hex_ansi_down() { send_in_ansi_view("\x1b[B"); }
void hex_ansi_right() { send_in_ansi_view("\x1b[C"); }
void hex_ansi_left() { send_in_ansi_view("\x1b[D"); }
void hex_ansi_home() { send_in_ansi_view("\x1b[H"); }
void hex_ansi_end() { send_in_ansi_view("\x1bOQ"); }
void hex_ansi_pg_up() { send_in_ansi_view("\x1bOP"); }
void hex_ansi_pg_dn() { send_in_ansi_view("\x1bOS"); }
void hex_ansi_return() { send_in_ansi_view("\r\n"); }
void hex_ansi_escape() { send_key("\x1b"); }
void hex_ansi_back() { send_key("\b"); }

void hex_ansi_char(platform::DialogHost& hwnd, int ch) {
  hex_ansi_scroll(hwnd);
  if (ch == '\t') hwnd.set_focus(IDT_SCREEN);
  hwnd.screen().set_insert_colour(hex_colour[hex_send_port].tx);
  const char byte = static_cast<char>(ch);
  SioPutc(hex_obj[hex_send_port].portnum, byte);
  const char text[2] = {byte, '\0'};
  hex_save_tx_log(hex_send_port, text, 1);
}

void hex_screen_backdoor(platform::DialogHost& hwnd, int code) {
  hex_escape_code = code;
  hwnd.screen().inject_key(platform::VK_PROCESSKEY);
}
