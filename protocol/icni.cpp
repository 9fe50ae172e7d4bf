#include "protocol/icni.h"

#include <algorithm>

namespace protocol {

void icni_set_length(std::span<std::uint8_t> message) {
  if (message.size() >= 2) message[1] = static_cast<std::uint8_t>(message.size() - 2);
}

std::size_t icni_encode(std::span<const std::uint8_t> payload, std::span<std::uint8_t> out) {
  if (out.size() < icni_frame_capacity(payload.size())) return 0;
  out[0] = kIcniStart;
  std::copy(payload.begin(), payload.end(), out.begin() + 1);
  return payload.size() + 1;
}

}  // namespace protocol
