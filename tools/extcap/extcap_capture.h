// A live capture of one interface into Wireshark's fifo, as pcapng with one RTAC Serial interface.
//
// A COM interface is first opened here, with the settings Wireshark passed (DTR raised, RTS
// lowered, as Quillport opens a port), and what it receives is written as it arrives. When the
// open fails because another program holds the port (or for any other reason) and a Quillport
// tap exists for the device, the capture comes from the tap instead: what Quillport reads and
// writes on the port, with Quillport's times, its comments and any gap it reports.
//
// The capture ends, closing the port and putting its settings back, when Wireshark ends it
// (SIGTERM, SIGINT or SIGHUP, or the fifo's reader gone), when the device goes away, or when
// Quillport stops serving the tap.
#pragma once

#include "tools/extcap/extcap_listing.h"
#include "tools/extcap/extcap_options.h"

namespace extcap {

// The program's exit status: 0 when the capture ran and ended, 1 when it could not run (the
// reason is written to stderr, which Wireshark shows).
int run_capture(const Interface& interface, const Request& request);

}  // namespace extcap
