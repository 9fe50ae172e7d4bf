#include "views/terminal_view.h"

#include <string>
#include <string_view>

#include "core/hex.h"
#include "core/hex_log.h"
#include "core/hex_send.h"
#include "views/paste_pacer.h"

using platform::DialogHost;
using platform::TerminalInput;

namespace {

PastePacer pacer;
int paste_port = 0;

// The port whose bytes the emulator is being fed, for its written lines.
int feeding_port = 0;
std::string logged_line;

void log_line(std::string_view line) {
  logged_line.assign(line);
  logged_line += '\n';
  hex_save_rx_text_log(feeding_port, logged_line);
}

bool send(DialogHost& hwnd, int port, std::string_view bytes) {
  return hex_send_bytes(hwnd, port, bytes.data(), static_cast<int>(bytes.size()));
}

// What was sent shows on the screen too when the user wants a local echo.
void echo(DialogHost& hwnd, int port, std::string_view bytes) {
  if (hex_local_echo == 0 || port != hex_send_port) return;
  hex_show_terminal(hwnd, port, std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
}

void send_typed(DialogHost& hwnd, std::string_view bytes) {
  if (bytes == "\x03") pacer.stop();  // Ctrl+C: the rest of a paste is not wanted either
  if (send(hwnd, hex_send_port, bytes)) echo(hwnd, hex_send_port, bytes);
}

void send_paste_piece(DialogHost& hwnd) {
  if (!pacer.active()) return;
  const std::string_view piece = pacer.take(line_bytes_in(hex_port_rate(paste_port), HEX_TIME));
  // What could not be sent is not sent later out of its place: the rest of the paste goes too.
  if (!send(hwnd, paste_port, piece)) return pacer.stop();
  echo(hwnd, paste_port, piece);
}

void start_paste(DialogHost& hwnd, std::string_view text) {
  if (text.size() > kMaxPasteBytes) {
    hex_show_port_failure(hwnd, hex_send_port,
                          "Paste of " + std::to_string(text.size()) + " bytes refused: a paste holds at most " +
                              std::to_string(kMaxPasteBytes) + " bytes");
    return;
  }
  std::string bytes;
  for (const std::string& chunk : hwnd.terminal().emulator().paste(text, kMaxPasteBytes)) bytes += chunk;
  pacer.start(std::move(bytes));
  paste_port = hex_send_port;
  send_paste_piece(hwnd);  // the first piece at once
}

}  // namespace

void hex_show_terminal(DialogHost& hwnd, int port, std::span<const std::uint8_t> bytes) {
  terminal::Emulator& emulator = hwnd.terminal().emulator();
  // Without a log the emulator is spared finding the written lines.
  if (hex_log != 0)
    emulator.set_line_sink(log_line);
  else
    emulator.set_line_sink(nullptr);
  feeding_port = port;
  emulator.feed(bytes);
  const std::string replies = emulator.take_replies();
  if (!replies.empty()) send(hwnd, port, replies);
}

void hex_terminal_follow_view(DialogHost& hwnd) { hwnd.terminal().set_shown(hex_view_mode == HEX_TERMINAL_VIEW); }

void hex_terminal_input(DialogHost& hwnd, const TerminalInput& input) {
  if (input.kind == TerminalInput::Kind::Paste)
    start_paste(hwnd, input.bytes);
  else
    send_typed(hwnd, input.bytes);
}

void hex_terminal_tick(DialogHost& hwnd) { send_paste_piece(hwnd); }

void hex_terminal_reset() { pacer.stop(); }
