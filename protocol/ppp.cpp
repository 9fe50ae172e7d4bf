#include "protocol/ppp.h"

#include <algorithm>
#include <cstring>

namespace protocol {

std::size_t ppp_encode(std::span<const std::uint8_t> payload, std::span<std::uint8_t> out) {
  if (out.size() < 2) return 0;
  std::size_t n = 0;
  out[n++] = kPppFlag;
  for (const std::uint8_t octet : payload) {
    const bool escape = octet < 0x20 || octet == kPppEscape || octet == kPppFlag;
    if (n + (escape ? 2 : 1) + 1 > out.size()) return 0;
    if (escape) {
      out[n++] = kPppEscape;
      out[n++] = octet ^ kPppEscapeXor;
    } else {
      out[n++] = octet;
    }
  }
  out[n++] = kPppFlag;
  return n;
}

std::size_t ppp_unescape(std::span<const std::uint8_t> escaped, std::span<std::uint8_t> out) {
  std::size_t n = 0;
  std::size_t i = 0;
  while (i < escaped.size() && n < out.size()) {
    // Plain octets up to the next escape are copied at once.
    const void* escape = std::memchr(escaped.data() + i, kPppEscape, escaped.size() - i);
    const std::size_t end = escape == nullptr ? escaped.size()
                                              : static_cast<std::size_t>(static_cast<const std::uint8_t*>(escape) -
                                                                         escaped.data());
    const std::size_t plain = std::min(end - i, out.size() - n);
    std::memmove(out.data() + n, escaped.data() + i, plain);
    n += plain;
    i = end + 1;
    if (end < escaped.size() && i < escaped.size() && n < out.size()) out[n++] = escaped[i++] ^ kPppEscapeXor;
  }
  return n;
}

}  // namespace protocol
