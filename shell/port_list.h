// What `quillport --list` prints: each COM number's device and whether it is free or held.
//
// How it works: the devices come from the serial library's map (QUILLPORT_COM<k>, the scan,
// --port-a and --port-b), and the holders from /proc/<pid>/fd. Nothing is opened: opening a serial
// device raises its modem lines under whoever holds it. A descriptor's link is only read; a link
// into /dev is then compared with stat, which device nodes answer at once, and any other target
// (a pipe, a socket, a file on a network mount that no longer answers) is never touched, so no
// process's odd files can hang the listing.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

struct PortHolder {
  int pid = 0;
  std::string command;  // the process's name, as /proc/<pid>/comm gives it
};

enum class PortState { Free, Held, Absent, NotADevice, Network };

struct PortListing {
  int number = 0;        // 0 = COM1
  std::string device;    // its path or network address
  std::string link;      // the /dev/serial/by-id link the scan knows it by, if any
  PortState state = PortState::Free;
  std::vector<PortHolder> holders;
};

struct PortList {
  std::vector<PortListing> ports;  // the COM numbers that stand for a device, in order
  int uninspected = 0;             // processes whose descriptors this user may not read
};

// The COM numbers with a device now; `proc` is the process folder (tests give another).
PortList list_ports(const std::string& proc = "/proc");

void print_port_list(std::FILE* out, const PortList& list);
