// One character cell of the terminal screen as a painter reads it, and the UTF-8 text of a row.
//
// A cell holds its character and the combining marks drawn over it, its colours and its style. A
// wide character (most CJK) takes two cells: the first has width 2 and holds the character, the
// second has width 0 and nothing in it. A cell nothing was written to holds no character and is
// painted as a blank.
//
// Colours are what the far end chose (the default colour, one of the 256 palette entries, or a
// direct 24-bit colour) together with the RGB to paint, already looked up in the palette, so a
// painter needs no table while a test can still tell index 1 from the RGB it resolves to.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>

namespace terminal {

inline constexpr int kMaxCharsPerCell = 6;  // a character and up to five combining marks

struct Rgb {
  std::uint8_t red = 0;
  std::uint8_t green = 0;
  std::uint8_t blue = 0;
  friend bool operator==(const Rgb&, const Rgb&) = default;
};

struct Colour {
  enum class Kind : std::uint8_t { Default, Palette, Direct };
  Kind kind = Kind::Default;
  std::uint8_t index = 0;  // the palette entry, when kind is Palette
  Rgb rgb;                 // what to paint, the default colours included
  friend bool operator==(const Colour&, const Colour&) = default;
};

struct Style {
  bool bold = false;
  bool italic = false;
  bool blink = false;
  bool reverse = false;
  bool strike = false;
  std::uint8_t underline = 0;  // 0 none, 1 single, 2 double, 3 curly
  friend bool operator==(const Style&, const Style&) = default;
};

struct Cell {
  std::array<char32_t, kMaxCharsPerCell> chars{};  // 0 after the last one; all 0: a blank
  std::uint8_t width = 1;                           // 2: a wide character; 0: its right half
  Style style;
  Colour foreground;
  Colour background;

  bool blank() const { return chars[0] == 0 || (chars[0] == U' ' && chars[1] == 0); }
  friend bool operator==(const Cell&, const Cell&) = default;
};

// Appends `c` to `out` as UTF-8 (U+FFFD for a value that is no character).
void append_utf8(std::string& out, char32_t c);

// The text of a row of cells: blanks as spaces, right halves of wide characters left out, the
// trailing blanks dropped.
std::string row_text(std::span<const Cell> cells);

}  // namespace terminal
