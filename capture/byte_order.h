// Integers in capture files and on the tap, octet by octet: a file says its own byte order, so
// nothing here depends on the machine's.
#pragma once

#include <cstdint>
#include <vector>

namespace capture {

enum class ByteOrder : std::uint8_t { Little, Big };

inline std::uint64_t load(const std::uint8_t* p, int size, ByteOrder order) {
  std::uint64_t value = 0;
  for (int i = 0; i < size; ++i) {
    const int at = order == ByteOrder::Little ? size - 1 - i : i;
    value = (value << 8) | p[at];
  }
  return value;
}

inline std::uint16_t load16(const std::uint8_t* p, ByteOrder order) {
  return static_cast<std::uint16_t>(load(p, 2, order));
}
inline std::uint32_t load32(const std::uint8_t* p, ByteOrder order) {
  return static_cast<std::uint32_t>(load(p, 4, order));
}
inline std::uint64_t load64(const std::uint8_t* p, ByteOrder order) { return load(p, 8, order); }

inline void store(std::uint8_t* p, int size, std::uint64_t value, ByteOrder order) {
  for (int i = 0; i < size; ++i) {
    const int at = order == ByteOrder::Little ? i : size - 1 - i;
    p[at] = static_cast<std::uint8_t>(value >> (8 * i));
  }
}

// Appends `value` little-endian: the order every file and message we write uses.
inline void append(std::vector<std::uint8_t>& out, int size, std::uint64_t value) {
  const std::size_t at = out.size();
  out.resize(at + static_cast<std::size_t>(size));
  store(out.data() + at, size, value, ByteOrder::Little);
}

}  // namespace capture
