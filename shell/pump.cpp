#include "shell/pump.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "core/hex.h"
#include "core/hex_capture.h"
#include "core/hex_reconnect.h"
#include "core/hex_report.h"
#include "core/line_record.h"
#include "core/port_claim.h"
#include "core/port_readers.h"
#include "serial/read_ahead.h"
#include "serial/ser.h"
#include "shell/replay.h"
#include "views/view_switch.h"

namespace {

constexpr std::size_t kTickBytes = std::size_t{kPumpBlocksPerTick} * HEX_QUEUE_SIZE;  // per port
// Arrivals are read one at a time: a bound on the reads of a port in one tick.
constexpr int kTickReads = 4096;

// One arrival taken this tick: its port, its time and where its bytes lie in its port's buffer.
struct Arrival {
  int port;
  std::int64_t time_us;
  std::size_t offset;
  std::size_t size;
};

std::array<std::vector<std::uint8_t>, HEX_MAX_PORT> taken;
std::vector<Arrival> arrivals;
ReceiveText text;

void start_screen_timer(platform::DialogHost& hwnd) {
  hex_timer = hwnd.start_timer(HEX_SCREEN_TIMER, HEX_TIME);
  if (hex_timer == 0) hex_err_msg("Timer is broken");
}

// Reads the next arrival of terminal port `i` into its buffer after `used` bytes: its size, 0 when
// nothing more comes this tick, or TORVEL_WIN32ERR when its device has gone.
int take_arrival(int i, std::size_t used, int waiting) {
  std::vector<std::uint8_t>& bytes = taken[static_cast<std::size_t>(i)];
  const std::size_t want = std::min(static_cast<std::size_t>(std::clamp(waiting, 0, HEX_QUEUE_SIZE)), kTickBytes - used);
  std::int64_t time_us = 0;
  const int got = serial::read_stamped(hex_obj[i].portnum, std::span(bytes).subspan(used, want), time_us);
  if (got > 0) arrivals.push_back({i, time_us, used, static_cast<std::size_t>(got)});
  return got;
}

// Takes what waits on terminal port `i`, arrival by arrival; false when its device has gone.
bool take_port(int i) {
  const int port = hex_obj[i].portnum;
  std::size_t used = 0;
  int since_empty = 0;  // bytes taken since the port was last found empty
  for (int reads = 0; reads < kTickReads && used < kTickBytes; ++reads) {
    int waiting = SioRxQue(port);
    // The tick's first read is made even with nothing waiting: only a read tells a device that
    // has gone from an idle one.
    if (reads > 0 && waiting <= 0) {
      if (!serial::more_input_follows(port, since_empty)) break;
      since_empty = 0;
      waiting = SioRxQue(port);
    }
    const int got = take_arrival(i, used, waiting);
    if (got == TORVEL_WIN32ERR) return false;
    if (got <= 0) break;
    used += static_cast<std::size_t>(got);
    since_empty += got;
  }
  return true;
}

// An absent terminal port holds no open port (its number may be the other's, whose bytes must not
// be taken from it), and a transfer or dump reads its own port. False when its device has gone.
bool take_ready_port(int i) {
  if (!hex_obj[i].present || hex_port_busy(i)) return true;
  return take_port(i);
}

void show(platform::DialogHost& hwnd, const Arrival& first, const Arrival& last) {
  const std::vector<std::uint8_t>& bytes = taken[static_cast<std::size_t>(first.port)];
  hex_shown_us = first.time_us;
  hex_shown_live = true;
  hex_show_block(hwnd, first.port, std::span(bytes).subspan(first.offset, last.offset + last.size - first.offset), text);
}

void show_arrivals(platform::DialogHost& hwnd) {
  const bool join = hex_view_joins_blocks();
  for (std::size_t a = 0; a < arrivals.size();) {
    std::size_t end = a + 1;
    while (join && end < arrivals.size() && arrivals[end].port == arrivals[a].port) ++end;
    show(hwnd, arrivals[a], arrivals[end - 1]);
    a = end;
  }
}

}  // namespace

void win_init_periodic(platform::DialogHost& hwnd) { start_screen_timer(hwnd); }

void win_periodic(platform::DialogHost& hwnd) {
  hwnd.stop_timer(HEX_SCREEN_TIMER);
  for (std::vector<std::uint8_t>& bytes : taken) bytes.resize(kTickBytes);
  arrivals.clear();
  std::array<bool, HEX_MAX_PORT> working{};
  working[0] = take_ready_port(0);
  const auto port_b = static_cast<std::ptrdiff_t>(arrivals.size());
  working[1] = take_ready_port(1);
  // Each port's arrivals are in order already; Port A's come first among equal times.
  std::inplace_merge(arrivals.begin(), arrivals.begin() + port_b, arrivals.end(),
                     [](const Arrival& a, const Arrival& b) { return a.time_us < b.time_us; });
  if (hex_run != 0) show_arrivals(hwnd);  // in Stop the bytes are read and dropped
  for (int i = 0; i < HEX_MAX_PORT; ++i)
    if (!working[static_cast<std::size_t>(i)]) hex_port_lost(hwnd, i);
  hex_time_stamp = static_cast<std::uint16_t>(hex_time_stamp + 50);
  hex_reconnect_tick(hwnd);
  hex_readers_follow();
  hex_capture_tick(hwnd);
  win_replay_tick(hwnd);
  start_screen_timer(hwnd);
}
