// The hexadecimal text of messages: how typed text is read, and that rendered text reads back.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "protocol/hex_pairs.h"

namespace {

std::vector<std::uint8_t> parse(std::string_view text, std::size_t room = 64) {
  std::vector<std::uint8_t> out(room);
  out.resize(protocol::parse_hex_pairs(text, out));
  return out;
}

TEST(HexPairs, TypedTextReadsAsAScanWithAThreeCharacterStep) {
  const struct {
    std::string_view text;
    std::vector<std::uint8_t> bytes;
  } cases[] = {
      {"7E 01 02", {0x7E, 0x01, 0x02}}, {" 7E 01 02", {0x7E, 0x01, 0x02}},
      {"7e,01,ff", {0x7E, 0x01, 0xFF}}, {"7E  01", {0x7E, 0x01}},
      {"7E\t01", {0x7E, 0x01}},         {"7E01", {0x7E, 0x01}},
      {"7E12", {0x7E, 0x02}},           {"0A0B0C", {0x0A, 0xB0}},
      {"1 2 3", {0x01, 0x03}},          {"7E 1 35", {0x7E, 0x01, 0x05}},
      {"  7E", {0x7E, 0x0E}},           {"   7E", {0x7E, 0x7E}},
      {"zz 41 zz 42", {0x41, 0x42}},    {"", {}},
      {"-1 +2", {0x01, 0x02}}, {"0x41", {0x00, 0x01}}, {std::string_view("41\0 42", 6), {0x41}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.text));
    EXPECT_EQ(parse(c.text), c.bytes);
  }
}

TEST(HexPairs, RenderedBytesReadBackAndNothingIsWrittenPastEitherBuffer) {
  std::vector<std::uint8_t> all(256);
  for (int i = 0; i < 256; ++i) all[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i);
  std::string text(3 * all.size(), '?');
  ASSERT_EQ(protocol::render_hex_pairs(all, text), text.size());
  EXPECT_EQ(text.substr(0, 12), " 00 01 02 03");
  EXPECT_EQ(parse(text, 256), all);

  std::array<char, 7> small{};  // room for two groups, not three
  EXPECT_EQ(protocol::render_hex_pairs(all, small), 6u);
  EXPECT_EQ(parse(" 41 42 43", 2), (std::vector<std::uint8_t>{0x41, 0x42}));
}

}  // namespace
