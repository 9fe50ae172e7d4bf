#include "core/port_claim.h"

#include <algorithm>
#include <iterator>

#include "core/hex.h"
#include "core/hex_capture.h"
#include "core/port_readers.h"
#include "core/resource.h"

int hex_xsend_port = 0;
int hex_xmodem_busy = 0;
int hex_dump_busy = 0;

namespace {

constexpr int kHeldAlways[] = {IDB_GO_FILE, IDC_PORTA, IDC_PORTB};
constexpr int kHeldSettings[HEX_MAX_PORT][5] = {
    {IDC_SPEED1, IDC_DATA1, IDC_STOP1, IDC_PARITY1, IDC_FLOW1},
    {IDC_SPEED2, IDC_DATA2, IDC_STOP2, IDC_PARITY2, IDC_FLOW2}};

void show_held(platform::DialogHost& hwnd, bool running) {
  for (const int id : kHeldAlways) hwnd.set_enabled(id, !running);
  for (const int id : kHeldSettings[hex_xsend_port]) hwnd.set_enabled(id, !running);
}

}  // namespace

void hex_claim_port(platform::DialogHost& hwnd, int port, ClaimKind kind) {
  hex_xsend_port = port == 1 ? 1 : 0;
  hex_xmodem_busy = kind == ClaimKind::XModem ? 1 : 0;
  hex_dump_busy = kind == ClaimKind::Dump ? 1 : 0;
  show_held(hwnd, true);
  hex_readers_follow();
  hex_capture_transfer_began(hwnd, hex_xsend_port, kind);
}

void hex_release_port(platform::DialogHost& hwnd) {
  hex_xmodem_busy = 0;
  hex_dump_busy = 0;
  show_held(hwnd, false);
  hex_readers_follow();
}

void hex_forget_claim() {
  hex_xsend_port = 0;
  hex_xmodem_busy = 0;
  hex_dump_busy = 0;
}

bool hex_transfer_running() { return hex_xmodem_busy || hex_dump_busy; }

bool hex_port_busy(int port) { return hex_transfer_running() && port == hex_xsend_port; }

bool hex_transfer_holds(int id) {
  if (!hex_transfer_running()) return false;
  const auto held = [id](const auto& ids) { return std::find(std::begin(ids), std::end(ids), id) != std::end(ids); };
  return held(kHeldAlways) || held(kHeldSettings[hex_xsend_port]);
}
