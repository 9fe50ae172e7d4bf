#include "protocol/ppp.h"

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
  for (std::size_t i = 0; i < escaped.size() && n < out.size(); ++i) {
    if (escaped[i] != kPppEscape) {
      out[n++] = escaped[i];
    } else if (++i < escaped.size()) {
      out[n++] = escaped[i] ^ kPppEscapeXor;
    }
  }
  return n;
}

}  // namespace protocol
