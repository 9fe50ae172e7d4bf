#include "core/port_readers.h"

#include "core/hex.h"
#include "core/port_claim.h"
#include "serial/read_ahead.h"
#include "serial/ser.h"

namespace {

bool readers_on = false;

// A serial port is read ahead for the present terminal port bound to it that no transfer holds.
bool wanted(int number) {
  if (!readers_on) return false;
  for (int port = 0; port < HEX_MAX_PORT; ++port)
    if (hex_obj[port].present && hex_obj[port].portnum == number && !hex_port_busy(port)) return true;
  return false;
}

}  // namespace

void hex_readers_start() {
  readers_on = true;
  hex_readers_follow();
}

void hex_readers_follow() {
  for (int number = 0; number < NBR_PORTS; ++number) {
    const bool want = wanted(number);
    if (want && !serial::reading_ahead(number)) serial::read_ahead(number);
    if (!want && serial::reading_ahead(number)) serial::stop_read_ahead(number);
  }
}

void hex_readers_stop() {
  readers_on = false;
  hex_readers_follow();
}
