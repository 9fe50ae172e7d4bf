#include "shell/pump.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <span>

#include "core/hex.h"
#include "core/hex_reconnect.h"
#include "core/hex_report.h"
#include "core/port_claim.h"
#include "serial/ser.h"
#include "views/view_switch.h"

namespace {

// One read of at most HEX_QUEUE_SIZE bytes, and the text the view renders it to.
std::array<std::uint8_t, HEX_QUEUE_SIZE> block;
ReceiveText text;

void start_screen_timer(platform::DialogHost& hwnd) {
  hex_timer = hwnd.start_timer(HEX_SCREEN_TIMER, HEX_TIME);
  if (hex_timer == 0) hex_err_msg("Timer is broken");
}

// Takes what waits on terminal port `i`, block by block, and shows it; false when its device has gone.
bool drain_port(platform::DialogHost& hwnd, int i) {
  const int port = hex_obj[i].portnum;
  int taken = 0;  // since the queue was last found empty
  for (int blocks = 0; blocks < kPumpBlocksPerTick; ++blocks) {
    int waiting = SioRxQue(port);
    // The tick's first read is made even with nothing waiting: only a read tells a device that
    // has gone from an idle one.
    if (blocks > 0 && waiting <= 0) {
      if (!serial::more_input_follows(port, taken)) break;
      taken = 0;
      waiting = SioRxQue(port);
    }
    const int got = SioGets(port, reinterpret_cast<char*>(block.data()),
                            static_cast<unsigned>(std::clamp(waiting, 0, HEX_QUEUE_SIZE)));
    if (got == TORVEL_WIN32ERR) return false;
    if (got <= 0) break;
    taken += got;
    if (hex_run == 0) continue;  // in Stop the bytes are read and dropped
    hex_show_block(hwnd, i, std::span(block.data(), static_cast<std::size_t>(got)), text);
  }
  return true;
}

}  // namespace

void win_init_periodic(platform::DialogHost& hwnd) { start_screen_timer(hwnd); }

void win_periodic(platform::DialogHost& hwnd) {
  hwnd.stop_timer(HEX_SCREEN_TIMER);
  for (int i = 0; i < HEX_MAX_PORT; ++i) {
    // An absent terminal port holds no open port; its number may be the other's, whose bytes
    // must not be taken from it.
    if (!hex_obj[i].present) continue;
    // A transfer or dump reads its own port; the other one is still shown.
    if (hex_port_busy(i)) continue;
    if (!drain_port(hwnd, i)) hex_port_lost(hwnd, i);
  }
  hex_time_stamp = static_cast<std::uint16_t>(hex_time_stamp + 50);
  hex_reconnect_tick(hwnd);
  start_screen_timer(hwnd);
}
