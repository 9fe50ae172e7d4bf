// Connections to network ports, made away from the thread that opens the port, and held a moment
// after it closes.
//
// How it works
//   Each port number has a slot. An open of a port bound to an address asks its slot for the
//   connection. The first time, a thread of its own looks the host up, connects (within
//   kConnectMs) and opens the conversation (within kNegotiateMs), while the open reports
//   EINPROGRESS ("connecting") and the port stays absent. An open after that thread has finished
//   takes the connection, or reports why there is none and starts the next attempt at once, so each
//   later open (the reconnect tick, once a second) finds a fresh result. The name lookup has no
//   time-out beyond the resolver's own, but it never holds the caller, and a port starts no second
//   attempt while one runs.
//   A connection closed by SioDone is held for kHoldMs, and an open of the same port and address in
//   that time takes it back as it is: the transfer controller closes and opens its port around every
//   transfer, and a server such as ser2net refuses a new connection while it still lets the last go.
//   A connection nobody takes in time is closed by the thread that holds it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "serial/net_address.h"
#include "serial/net_link.h"

namespace serial::net {

inline constexpr std::uint32_t kConnectMs = 5000;
inline constexpr std::uint32_t kNegotiateMs = 3000;
inline constexpr std::uint32_t kHoldMs = 3000;

struct Opened {
  std::unique_ptr<NetLink> link;
  int error = 0;    // errno when there is no link: EINPROGRESS while connecting
  std::string why;  // for people: "connection refused", "unknown host (...)"
};

Opened open_connection(int port, const NetAddress& address);
void hold_connection(int port, std::unique_ptr<NetLink> link);
// Waits up to `ms` until no attempt for `port` is running; true when none is.
bool wait_connection(int port, int ms);
// Closes at once what `port`'s slot holds, and forgets an attempt that runs (for a test that
// serves one device on two addresses, which the server lets only one client use at a time).
void drop_connection(int port);

}  // namespace serial::net
