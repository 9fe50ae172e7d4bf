#include "shell/pump.h"

#include <algorithm>

#include "core/hex.h"
#include "core/hex_display.h"
#include "serial/ser.h"
#include "shell/port_presentation.h"
#include "views/view_switch.h"

namespace {

// One read per port and tick; the hexadecimal view renders it in place, three characters a byte.
char block[HEX_MAX_STRING + 1];

void start_screen_timer(platform::DialogHost& hwnd) {
  hex_timer = hwnd.start_timer(HEX_SCREEN_TIMER, HEX_TIME);
  if (hex_timer == 0) hex_err_msg("Timer is broken");
}

void show_block(platform::DialogHost& hwnd, int port, int got) { hex_show_block(hwnd, port, block, got); }

}  // namespace

void win_init_periodic(platform::DialogHost& hwnd) { start_screen_timer(hwnd); }

void win_periodic(platform::DialogHost& hwnd) {
  hwnd.stop_timer(HEX_SCREEN_TIMER);
  for (int i = 0; i < HEX_MAX_PORT; ++i) {
    // An absent terminal port holds no open port; its number may be the other's, whose bytes
    // must not be taken from it.
    if (!hex_obj[i].present) continue;
    const int port = hex_obj[i].portnum;
    const int count = std::min(SioRxQue(port), HEX_QUEUE_SIZE);
    const int got = SioGets(port, block, static_cast<unsigned>(std::max(count, 0)));
    if (got == TORVEL_WIN32ERR) {
      hex_port_lost(hwnd, i);
      win_show_devices(hwnd);
      continue;
    }
    if (got <= 0 || hex_run == 0) continue;
    block[got] = '\0';
    show_block(hwnd, i, got);
  }
  hex_time_stamp = static_cast<std::uint16_t>(hex_time_stamp + 50);
  if (hex_reconnect_tick(hwnd)) win_show_devices(hwnd);
  start_screen_timer(hwnd);
}
