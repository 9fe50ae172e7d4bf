#include "platform/shown_character.h"

#include <array>

namespace platform {
namespace {

// Windows-1252's characters for 0x80-0x9F; the undefined codes keep their C1 code point.
constexpr std::array<char16_t, 32> kWindows1252 = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80-87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 88-8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90-97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 98-9F
};

}  // namespace

char16_t shown_character(unsigned char byte) {
  return byte >= 0x80 && byte < 0xA0 ? kWindows1252[byte - 0x80] : char16_t{byte};
}

bool has_glyph(unsigned char byte) {
  const char16_t shown = shown_character(byte);
  return shown > 0x20 && !(shown >= 0x7F && shown < 0xA0);
}

}  // namespace platform
