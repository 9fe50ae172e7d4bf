// quillport-extcap: Wireshark's window on Quillport's serial ports (see extcap_options.h for how
// Wireshark calls it, extcap_listing.h for the interfaces, extcap_capture.h for the capture).
// Exit status: 0 done, 1 the capture could not run, 2 arguments it cannot use.
#include <iostream>
#include <string>
#include <vector>

#include "tools/extcap/extcap_capture.h"
#include "tools/extcap/extcap_listing.h"
#include "tools/extcap/extcap_options.h"

namespace {

constexpr const char* kUsage =
    "usage: quillport-extcap --extcap-interfaces | --extcap-version\n"
    "       quillport-extcap --extcap-interface IF (--extcap-dlts | --extcap-config)\n"
    "       quillport-extcap --extcap-interface IF --capture --fifo FILE\n"
    "                        [--speed N] [--databits 5-8] [--parity none|odd|even|mark|space]\n"
    "                        [--stopbits 1|2] [--flow none|rts|xon]\n";

int with_interface(const extcap::Request& request) {
  const std::optional<extcap::Interface> interface = extcap::find_interface(request.interface);
  if (!interface) {
    std::cerr << "quillport-extcap: no interface " << request.interface << "\n";
    return 2;
  }
  if (request.mode == extcap::Mode::Dlts) extcap::print_dlts(std::cout);
  if (request.mode == extcap::Mode::Config) extcap::print_config(std::cout);
  if (request.mode != extcap::Mode::Capture) return 0;
  if (request.fifo.empty()) {
    std::cerr << "quillport-extcap: --capture needs --fifo\n";
    return 2;
  }
  return extcap::run_capture(*interface, request);
}

}  // namespace

int main(int argc, char** argv) {
  std::string error;
  const extcap::Request request = extcap::parse_request(std::vector<std::string>(argv + 1, argv + argc), error);
  if (!error.empty()) {
    std::cerr << "quillport-extcap: " << error << "\n" << kUsage;
    return 2;
  }
  switch (request.mode) {
    case extcap::Mode::Usage: std::cerr << kUsage; return 2;
    case extcap::Mode::Version: extcap::print_version(std::cout); return 0;
    case extcap::Mode::Interfaces: extcap::print_interfaces(std::cout, extcap::list_interfaces()); return 0;
    // Filters belong to packets with addresses; a serial line has none to filter on.
    case extcap::Mode::CheckFilter: std::cout << "Quillport's interfaces take no capture filter\n"; return 0;
    default: return with_interface(request);
  }
}
