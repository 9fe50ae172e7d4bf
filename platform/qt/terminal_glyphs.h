// The terminal's characters drawn once per colour pair and style and then copied, cell by cell,
// into the screen's image: a full-screen program redraws rows again and again in a handful of
// colours, and copying a small image costs far less than laying out and blending a glyph each time.
//
// A glyph is kept under its characters (a character and its combining marks), its ink and paper,
// bold and italic, and its width (a wide character's glyph spans two cells). Plain ASCII, what most
// cells hold, is kept in a sheet per look (colours and style), found by comparing the look with the
// last one used and indexing the sheet; other characters are looked up by a hash. The cache holds
// at most kMaxSheets sheets and kMaxGlyphs other glyphs; when a stream shows more (every true colour
// under the sun) it starts over.
#pragma once

#include <QFont>
#include <QImage>
#include <QPainter>
#include <QRgb>
#include <QSize>

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

#include "terminal/cell.h"

namespace platform {

class TerminalGlyphs {
 public:
  // Forgets every glyph: from now on characters are drawn in `font` (regular, with its bold and
  // italic forms made from it), on cells of `cell` device pixels, the baseline `baseline` pixels
  // (of the font's own size) below the top, at `ratio` device pixels to the pixel.
  void reset(const QFont& font, QSize cell, int baseline, qreal ratio);

  // The cell's characters in `ink` on `paper`: an image of one cell, or two for a wide character.
  // A reference stays good until the next call.
  const QImage& glyph(const terminal::Cell& cell, QRgb ink, QRgb paper);

  std::size_t size() const { return glyphs_.size() + sheets_.size(); }

 private:
  static constexpr std::size_t kMaxGlyphs = 4096;
  static constexpr std::size_t kMaxSheets = 64;
  static constexpr char32_t kSheetCharacters = 128;

  struct Sheet {
    QRgb ink = 0;
    QRgb paper = 0;
    std::uint8_t flags = 0;
    std::array<QImage, kSheetCharacters> glyphs;
  };

  struct Key {
    std::array<char32_t, terminal::kMaxCharsPerCell> chars{};
    QRgb ink = 0;
    QRgb paper = 0;
    std::uint8_t flags = 0;  // bold, italic, wide
    bool operator==(const Key&) const = default;
  };
  struct KeyHash {
    std::size_t operator()(const Key& key) const;
  };

  QImage draw(const Key& key);
  QPainter& scratch_painter();
  Sheet& sheet(QRgb ink, QRgb paper, std::uint8_t flags);

  // Regular, bold, italic, bold italic: made once, so that each keeps what Qt found out about its
  // font (the fallback fonts for characters it lacks cost a fontconfig query each time anew).
  std::array<QFont, 4> fonts_;
  QSize cell_{1, 1};
  int baseline_ = 0;
  qreal ratio_ = 1;
  QImage scratch_;  // where glyphs are drawn, by a painter kept open on it
  std::unique_ptr<QPainter> painter_;
  std::unordered_map<Key, QImage, KeyHash> glyphs_;
  std::vector<std::unique_ptr<Sheet>> sheets_;
  Sheet* last_sheet_ = nullptr;
};

}  // namespace platform
