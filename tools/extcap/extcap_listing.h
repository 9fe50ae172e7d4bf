// The interfaces quillport-extcap offers and what it tells Wireshark about them.
//
// One interface per COM number the serial library maps to a device ("quillport-COM1"), then one
// per tap a running Quillport serves for a device none of those numbers stands for
// ("quillport-tap-<socket name>"): Quillport may have been started with QUILLPORT_COM<k> set,
// Wireshark without it. Every interface has one link type, RTAC Serial.
#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace extcap {

struct Interface {
  std::string value;    // what Wireshark passes back in --extcap-interface
  std::string display;  // what it shows
  std::string device;
  int port = -1;  // the serial library's port number; -1 for a tap alone
};

std::vector<Interface> list_interfaces();
std::optional<Interface> find_interface(const std::string& value);

void print_version(std::ostream& out);
void print_interfaces(std::ostream& out, const std::vector<Interface>& interfaces);
void print_dlts(std::ostream& out);
void print_config(std::ostream& out);

}  // namespace extcap
