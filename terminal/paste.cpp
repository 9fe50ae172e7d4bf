#include "terminal/paste.h"

#include <algorithm>

namespace terminal {

namespace {

bool is_continuation(char byte) { return (static_cast<unsigned char>(byte) & 0xC0) == 0x80; }

// The character at `pos` of UTF-8 `text`, moving `pos` past it; U+FFFD for a malformed one.
char32_t next_character(std::string_view text, std::size_t& pos) {
  const auto lead = static_cast<unsigned char>(text[pos++]);
  if (lead < 0x80) return lead;
  const int count = lead >= 0xF8 ? -1 : lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : -1;
  if (count < 0) return 0xFFFD;
  char32_t c = lead & (0x3F >> count);
  for (int i = 0; i < count; ++i) {
    if (pos >= text.size() || !is_continuation(text[pos])) return 0xFFFD;
    c = c << 6 | (static_cast<unsigned char>(text[pos++]) & 0x3F);
  }
  return c;
}

void append_latin1(std::string& out, std::string_view text, std::size_t& pos) {
  const char32_t c = next_character(text, pos);
  out += c <= 0xFF ? static_cast<char>(c) : '?';
}

}  // namespace

std::string paste_bytes(std::string_view utf8_text, Decoding decoding, std::string_view bracket_open,
                        std::string_view bracket_close) {
  const bool bracketed = !bracket_open.empty();
  std::string out(bracket_open);
  for (std::size_t pos = 0; pos < utf8_text.size();) {
    const char byte = utf8_text[pos];
    if (byte == '\r' || byte == '\n') {
      out += '\r';
      pos += utf8_text.substr(pos, 2) == "\r\n" ? 2 : 1;
    } else if (byte == '\x1b' && bracketed) {
      ++pos;
    } else if (decoding == Decoding::Latin1) {
      append_latin1(out, utf8_text, pos);
    } else {
      out += byte;
      ++pos;
    }
  }
  out += bracket_close;
  return out;
}

std::vector<std::string> cut_into_chunks(std::string_view bytes, std::size_t chunk_size) {
  chunk_size = std::max<std::size_t>(chunk_size, 4);
  std::vector<std::string> chunks;
  for (std::size_t pos = 0; pos < bytes.size();) {
    std::size_t end = std::min(pos + chunk_size, bytes.size());
    for (int back = 0; back < 3 && end < bytes.size() && is_continuation(bytes[end]); ++back) --end;
    chunks.emplace_back(bytes.substr(pos, end - pos));
    pos = end;
  }
  return chunks;
}

}  // namespace terminal
