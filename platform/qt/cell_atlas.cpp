#include "platform/qt/cell_atlas.h"

#include <QPainter>
#include <QString>

#include "platform/shown_character.h"

namespace platform {

void CellAtlas::reset(const QFont& font, QSize cell, int slack, int baseline, qreal ratio, Drawn drawn) {
  font_ = font;
  cell_ = cell;
  slack_ = slack;
  baseline_ = baseline;
  ratio_ = ratio;
  drawn_ = drawn;
  sheets_.clear();
  last_ = nullptr;
}

const QImage& CellAtlas::sheet(QRgb ink, QRgb paper) {
  if (last_ != nullptr && last_->ink == ink && last_->paper == paper) return last_->image;
  for (const auto& sheet : sheets_) {
    if (sheet->ink == ink && sheet->paper == paper) {
      last_ = sheet.get();
      return last_->image;
    }
  }
  if (sheets_.size() >= kMaxSheets) sheets_.clear();
  sheets_.push_back(std::make_unique<Sheet>(Sheet{ink, paper, draw(ink, paper)}));
  last_ = sheets_.back().get();
  return last_->image;
}

// Each glyph is clipped to its cell, as a character grid has it; a glyph the font lacks is drawn
// from whichever font has it. Cells side by side keep the glyphs of neighbouring codes, such as
// the digits and the letters of hexadecimal, in the same cache lines.
QImage CellAtlas::draw(QRgb ink, QRgb paper) const {
  QImage image(cell_.width() * 256 + slack_, cell_.height(), QImage::Format_RGB32);
  image.fill(paper);
  QPainter painter(&image);
  painter.setFont(font_);
  painter.setPen(QColor(ink));
  painter.scale(ratio_, ratio_);
  const qreal width = cell_.width() / ratio_;
  const qreal height = cell_.height() / ratio_;
  for (int byte = 0; byte < 256; ++byte) {
    if (drawn_ == nullptr || !drawn_(static_cast<unsigned char>(byte))) continue;
    const qreal left = byte * width;
    painter.setClipRect(QRectF(left, 0, width, height));
    painter.drawText(QPointF(left, baseline_), QString(QChar(shown_character(static_cast<unsigned char>(byte)))));
  }
  return image;
}

}  // namespace platform
