// Which device each serial port number stands for on this machine, and why an open failed.
//
// Port n is COM(n+1). QUILLPORT_COM<k>=<path> names the device of COMk; otherwise the numbers are
// filled from the serial devices present, in the order ttyUSB*, ttyACM*, then the other real ports,
// each by number. A number once given to a device keeps it for the rest of the run; devices that
// appear later take the free numbers at the next open.
#pragma once

#include <string>

namespace serial {

// The device path port `port` stands for now, "" when none (or the number is out of range).
std::string device_path(int port);

// Why `port` is not usable: why its last open failed, or why its device stopped answering a read;
// "" while it works, or before any attempt.
std::string open_failure(int port);

// What a person can do about a failure depends on its kind. The kind is decided on the errno, never
// on strerror's text, which follows the locale (a Qt program switches it to the user's).
enum class FailureKind { None, NotFound, Permission, Busy, Unsupported, Gone, Other };
FailureKind failure_kind(int error);

// The errno behind open_failure(port); 0 when there is none.
int open_failure_error(int port);

// Binds `port` to `path` for the rest of the run, ahead of the variable and the scan; "" unbinds.
void bind_device(int port, const std::string& path);

// Scans the devices present again (every open does this for numbers not yet given out).
void rescan_devices();

// Where the scan looks for devices: the tty class folder of sysfs and the device folder.
// Tests point these at a made-up tree; the defaults are /sys/class/tty and /dev.
void set_scan_roots(const std::string& sys_class_tty, const std::string& dev_dir);

// Forgets every number given out by the scan (bindings by bind_device stay).
void reset_device_map();

// The file descriptor of an open port, -1 when the port is not open.
int native_handle(int port);

}  // namespace serial
