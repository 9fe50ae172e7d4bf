// Ports bound to network addresses (rfc2217://HOST:PORT, tcp://HOST:PORT), as the rest of the
// program sees them. They are opened, read, written and set through the same Sio* calls as a tty;
// an open of one whose connection is not ready yet fails with EINPROGRESS ("connecting") and is
// tried again later (serial/net_connect.h).
#pragma once

#include <string>

namespace serial {

// True when `port` is bound to a network address.
bool is_network_port(int port);

// What a port's hint says of an open network port: its mode and the far port's settings as the
// server reports them; "" for any other port.
std::string network_note(int port);

// SioReset for a program with no reconnect tick to come back on (a test, a command-line tool): a
// network port still connecting is waited for, up to `ms`, and opened again. SioReset's result.
int open_port_waiting(int port, int ms);

}  // namespace serial
