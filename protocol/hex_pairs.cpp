#include "protocol/hex_pairs.h"

namespace protocol {
namespace {

int digit_value(char ch) {
  if (ch >= '0' && ch <= '9') return ch - '0';
  if (ch >= 'a' && ch <= 'f') return ch - 'a' + 10;
  if (ch >= 'A' && ch <= 'F') return ch - 'A' + 10;
  return -1;
}

// scanf's white space: blank, tab, line feed, vertical tab, form feed, carriage return.
bool is_space(char ch) { return ch == ' ' || (ch >= '\t' && ch <= '\r'); }

}  // namespace

std::size_t parse_hex_pairs(std::string_view text, std::span<std::uint8_t> out) {
  text = text.substr(0, text.find('\0'));
  std::size_t stored = 0;
  std::size_t pos = 0;
  while (pos < text.size() && stored < out.size()) {
    std::size_t at = pos;
    while (at < text.size() && is_space(text[at])) ++at;
    int value = 0;
    int digits = 0;
    for (; digits < 2 && at < text.size(); ++digits, ++at) {
      const int digit = digit_value(text[at]);
      if (digit < 0) break;
      value = value * 16 + digit;
    }
    if (digits == 0) {
      ++pos;
      continue;
    }
    out[stored++] = static_cast<std::uint8_t>(value);
    pos += 3;
  }
  return stored;
}

std::size_t render_hex_pairs(std::span<const std::uint8_t> bytes, std::span<char> out) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  const std::size_t count = bytes.size() < out.size() / 3 ? bytes.size() : out.size() / 3;
  for (std::size_t i = 0; i < count; ++i) {
    out[3 * i] = ' ';
    out[3 * i + 1] = kDigits[bytes[i] >> 4];
    out[3 * i + 2] = kDigits[bytes[i] & 0x0F];
  }
  return 3 * count;
}

}  // namespace protocol
