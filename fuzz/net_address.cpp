// Any text typed or set as a port's address is read or refused without reading outside it, and an
// address that is read, written out again, reads back the same.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "serial/net_address.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const serial::ParsedAddress parsed = serial::parse_net_address(text);
  if (!parsed.address) {
    if (parsed.error.empty()) std::abort();
    return 0;
  }
  const serial::ParsedAddress again = serial::parse_net_address(serial::address_text(*parsed.address));
  if (!again.address || again.address->host != parsed.address->host || again.address->port != parsed.address->port ||
      again.address->mode != parsed.address->mode)
    std::abort();
  return 0;
}
