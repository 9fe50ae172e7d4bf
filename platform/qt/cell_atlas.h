// The display's characters drawn once per colour pair and then copied, cell by cell, into the page
// image: a busy trace paints a whole new page every tick, and copying a few thousand small
// rectangles costs far less than laying out and blending as many glyphs each time.
#pragma once

#include <QFont>
#include <QImage>
#include <QRgb>
#include <QSize>

#include <memory>
#include <vector>

namespace platform {

class CellAtlas {
 public:
  using Drawn = bool (*)(unsigned char byte);

  // Forgets every sheet: from now on characters are drawn in `font`, on cells of `cell` device
  // pixels with `slack` pixels more past the last, their baseline `baseline` pixels (of the font's
  // own size) below the top of the cell, at `ratio` device pixels to the pixel. Only the bytes
  // `drawn` accepts get a glyph; the others are blank cells.
  void reset(const QFont& font, QSize cell, int slack, int baseline, qreal ratio, Drawn drawn);

  // All 256 cells in `ink` on `paper`, byte 0's at the left, side by side in a row of Format_RGB32
  // (with the slack after the last), drawn when first asked for. A reference stays good until the
  // next call.
  const QImage& sheet(QRgb ink, QRgb paper);

  QSize cell() const { return cell_; }

 private:
  struct Sheet {
    QRgb ink;
    QRgb paper;
    QImage image;
  };
  // The few colours of two ports and their echoes, the selection and what the views use: more
  // than this means something changes colours wholesale, and the sheets start over.
  static constexpr std::size_t kMaxSheets = 32;

  QImage draw(QRgb ink, QRgb paper) const;

  QFont font_;
  QSize cell_{1, 1};
  int slack_ = 0;
  int baseline_ = 0;
  qreal ratio_ = 1;
  Drawn drawn_ = nullptr;
  std::vector<std::unique_ptr<Sheet>> sheets_;
  Sheet* last_ = nullptr;
};

}  // namespace platform
