// Prints which device each COM number stands for, one "COM<k> <path>" line each, as the program
// would fill them now. Exit status 0 when at least one COM number stands for a device, 1 when none.
#include <cstdio>

#include "serial/devices.h"
#include "serial/ser.h"

int main() {
  serial::rescan_devices();
  int found = 0;
  for (int port = 0; port < NBR_PORTS; ++port) {
    const std::string path = serial::device_path(port);
    if (path.empty()) continue;
    std::printf("COM%d %s\n", port + 1, path.c_str());
    ++found;
  }
  return found > 0 ? 0 : 1;
}
