// The octets of the frame a decoder is collecting, in a buffer its caller keeps between blocks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace protocol {

struct FrameCollector {
  std::span<std::uint8_t> octets;  // room for the most octets one frame keeps; later ones are dropped
  int count = 0;                   // octets collected so far

  void add(std::uint8_t octet) {
    if (count < 0) count = 0;  // a count that was never valid starts a new collection
    if (static_cast<std::size_t>(count) < octets.size()) octets[static_cast<std::size_t>(count++)] = octet;
  }
  void restart_with(std::uint8_t first) {
    count = 0;
    add(first);
  }
  std::span<const std::uint8_t> collected() const {
    if (count <= 0) return {};
    return octets.first(static_cast<std::size_t>(count) < octets.size() ? static_cast<std::size_t>(count)
                                                                         : octets.size());
  }
};

}  // namespace protocol
