#include "terminal/cell.h"

namespace terminal {

namespace {

bool is_character(char32_t c) { return c <= 0x10FFFF && (c < 0xD800 || c > 0xDFFF); }

std::uint8_t byte(char32_t bits) { return static_cast<std::uint8_t>(bits); }

}  // namespace

void append_utf8(std::string& out, char32_t c) {
  if (!is_character(c)) c = 0xFFFD;
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += {static_cast<char>(byte(0xC0 | c >> 6)), static_cast<char>(byte(0x80 | (c & 0x3F)))};
  } else if (c < 0x10000) {
    out += {static_cast<char>(byte(0xE0 | c >> 12)), static_cast<char>(byte(0x80 | (c >> 6 & 0x3F))),
            static_cast<char>(byte(0x80 | (c & 0x3F)))};
  } else {
    out += {static_cast<char>(byte(0xF0 | c >> 18)), static_cast<char>(byte(0x80 | (c >> 12 & 0x3F))),
            static_cast<char>(byte(0x80 | (c >> 6 & 0x3F))), static_cast<char>(byte(0x80 | (c & 0x3F)))};
  }
}

std::string row_text(std::span<const Cell> cells) {
  std::string text;
  std::size_t kept = 0;  // length of the text up to its last non-blank cell
  for (const Cell& cell : cells) {
    if (cell.width == 0) continue;
    if (cell.chars[0] == 0) text += ' ';
    for (char32_t c : cell.chars) {
      if (c == 0) break;
      append_utf8(text, c);
    }
    if (!cell.blank()) kept = text.size();
  }
  text.resize(kept);
  return text;
}

}  // namespace terminal
