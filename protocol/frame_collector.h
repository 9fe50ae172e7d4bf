// The octets of the frame a decoder is collecting, in a buffer its caller keeps between blocks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

namespace protocol {

struct FrameCollector {
  std::span<std::uint8_t> octets;  // room for the most octets one frame keeps; later ones are dropped
  int count = 0;                   // octets collected so far

  void add(std::uint8_t octet) {
    if (count < 0) count = 0;  // a count that was never valid starts a new collection
    if (static_cast<std::size_t>(count) < octets.size()) octets[static_cast<std::size_t>(count++)] = octet;
  }
  // Adds octets in one copy, as many as there is room for.
  void append(std::span<const std::uint8_t> more) {
    if (count < 0) count = 0;
    const std::size_t at = static_cast<std::size_t>(count);
    const std::size_t room = at < octets.size() ? octets.size() - at : 0;
    const std::size_t taken = more.size() < room ? more.size() : room;
    if (taken == 0) return;
    std::memcpy(octets.data() + at, more.data(), taken);
    count += static_cast<int>(taken);
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
