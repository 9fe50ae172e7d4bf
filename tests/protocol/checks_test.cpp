// Check values over known messages, with the complements that frames carry.
#include <gtest/gtest.h>

#include <cstdint>
#include <string_view>
#include <vector>

#include "protocol/checks.h"

namespace {

std::vector<std::uint8_t> bytes(std::string_view text) { return {text.begin(), text.end()}; }

TEST(Checks, KnownMessagesGiveTheirRegisters) {
  const struct {
    std::vector<std::uint8_t> message;
    std::uint16_t crc16;
    std::uint32_t crc32;
    std::uint8_t sum;
    std::uint8_t exclusive_or;
  } cases[] = {
      {bytes("123456789"), 0x6F91, 0x2DFD2D88, 0xDD, 0x31},
      {bytes("abc"), 0x61DA, 0xCA6598D0, 0x26, 0x60},
      {{}, 0x0000, 0x00000000, 0x00, 0x00},
      {{0xFF, 0xFF}, 0x0000, 0xBE2612FF, 0xFE, 0x00},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(protocol::crc16_register(c.message), c.crc16);
    EXPECT_EQ(protocol::crc32_register(c.message), c.crc32);
    EXPECT_EQ(protocol::sum8(c.message), c.sum);
    EXPECT_EQ(protocol::xor8(c.message), c.exclusive_or);
  }
  // The complement of the CRC-16 register is the X.25 frame check sequence.
  EXPECT_EQ(static_cast<std::uint16_t>(~protocol::crc16_register(bytes("123456789"))), 0x906E);
  EXPECT_EQ(protocol::kCrc32Table[1], 0x77073096u);
  EXPECT_EQ(protocol::kCrc32Table[255], 0x2D02EF8Du);
}

}  // namespace
