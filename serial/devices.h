// Which device each serial port number stands for on this machine, and why an open failed.
//
// Port n is COM(n+1). QUILLPORT_COM<k>=<path> names the device of COMk; otherwise the numbers are
// filled from the serial devices present, in the order ttyUSB*, ttyACM*, then the other real ports,
// each by number. A number once given to a device keeps it for the rest of the run; devices that
// appear later take the free numbers at the next open. A USB adapter is known by its
// /dev/serial/by-id link as well, so plugged in again under another name (ttyUSB1 for ttyUSB0) it
// gets its own number back.
#pragma once

#include <string>
#include <vector>

namespace serial {

// The device path port `port` stands for now, "" when none (or the number is out of range).
std::string device_path(int port);

// The /dev/serial/by-id link of the adapter the scan gave `port` to, "" when it has none.
std::string device_link(int port);

// True when the last scan gave `port` a new device while an adapter known by its by-id link was
// unplugged: the new device may be that adapter, whose link udev makes a moment after its node,
// and whose number it will go to once the link is there.
bool device_unsettled(int port);

// The paths whose change may let `port` open when it does not: its device path, its by-id link and,
// for a number the scan fills, the device folder where new devices appear.
std::vector<std::string> device_watch_paths(int port);

// The number of an open port whose device `path` names (through links too), -1 when none.
int open_port_of(const std::string& path);

// Binds `port` to `path` for the rest of the run, ahead of the variable and the scan; "" unbinds.
void bind_device(int port, const std::string& path);

// Scans the devices present again (every open does this for numbers not yet given out).
void rescan_devices();

// Where the scan looks for devices: the tty class folder of sysfs and the device folder.
// Tests point these at a made-up tree; the defaults are /sys/class/tty and /dev.
void set_scan_roots(const std::string& sys_class_tty, const std::string& dev_dir);

// Forgets every number given out by the scan (bindings by bind_device stay).
void reset_device_map();

}  // namespace serial
