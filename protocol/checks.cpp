#include "protocol/checks.h"

namespace protocol {
namespace {

constexpr std::array<std::uint32_t, 256> make_crc32_table() {
  std::array<std::uint32_t, 256> table{};
  for (std::uint32_t n = 0; n < 256; ++n) {
    std::uint32_t reg = n;
    for (int bit = 0; bit < 8; ++bit) reg = (reg & 1) ? (reg >> 1) ^ 0xEDB88320u : reg >> 1;
    table[n] = reg;
  }
  return table;
}

}  // namespace

const std::array<std::uint32_t, 256> kCrc32Table = make_crc32_table();

std::uint16_t crc16_register(std::span<const std::uint8_t> bytes) {
  if (bytes.empty()) return 0x0000;
  unsigned reg = 0xFFFF;
  for (std::uint8_t data : bytes) {
    for (int bit = 0; bit < 8; ++bit, data = static_cast<std::uint8_t>(data >> 1))
      reg = ((reg ^ data) & 1) ? (reg >> 1) ^ kCrc16Poly : reg >> 1;
  }
  return static_cast<std::uint16_t>(reg);
}

std::uint32_t crc32_register(std::span<const std::uint8_t> bytes) {
  std::uint32_t reg = 0;
  for (const std::uint8_t byte : bytes) reg = kCrc32Table[(reg ^ byte) & 0xFF] ^ (reg >> 8);
  return reg;
}

std::uint8_t sum8(std::span<const std::uint8_t> bytes) {
  unsigned sum = 0;
  for (const std::uint8_t byte : bytes) sum += byte;
  return static_cast<std::uint8_t>(sum);
}

std::uint8_t xor8(std::span<const std::uint8_t> bytes) {
  std::uint8_t value = 0;
  for (const std::uint8_t byte : bytes) value ^= byte;
  return value;
}

}  // namespace protocol
