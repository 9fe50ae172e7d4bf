#include "platform/qt/terminal_glyphs.h"

#include <QPainter>
#include <QString>

namespace platform {
namespace {

constexpr std::uint8_t kBold = 1;
constexpr std::uint8_t kItalic = 2;
constexpr std::uint8_t kWide = 4;

QString text_of(const std::array<char32_t, terminal::kMaxCharsPerCell>& chars) {
  QString text;
  for (const char32_t c : chars) {
    if (c == 0) break;
    text += QString::fromUcs4(&c, 1);
  }
  return text;
}

}  // namespace

std::size_t TerminalGlyphs::KeyHash::operator()(const Key& key) const {
  std::size_t hash = 1469598103934665603u;  // FNV-1a over the key's fields
  const auto mix = [&hash](std::uint64_t value) { hash = (hash ^ value) * 1099511628211u; };
  for (const char32_t c : key.chars) {
    if (c == 0) break;
    mix(c);
  }
  mix(key.ink);
  mix(key.paper);
  mix(key.flags);
  return hash;
}

void TerminalGlyphs::reset(const QFont& font, QSize cell, int baseline, qreal ratio) {
  font_ = font;
  cell_ = cell;
  baseline_ = baseline;
  ratio_ = ratio;
  glyphs_.clear();
}

const QImage& TerminalGlyphs::glyph(const terminal::Cell& cell, QRgb ink, QRgb paper) {
  Key key;
  key.chars = cell.chars;
  key.ink = ink;
  key.paper = paper;
  key.flags = static_cast<std::uint8_t>((cell.style.bold ? kBold : 0) | (cell.style.italic ? kItalic : 0) |
                                        (cell.width == 2 ? kWide : 0));
  if (const auto found = glyphs_.find(key); found != glyphs_.end()) return found->second;
  if (glyphs_.size() >= kMaxGlyphs) glyphs_.clear();
  return glyphs_.emplace(key, draw(key)).first->second;
}

// A glyph is clipped to its cell, as a character grid has it; one the font lacks is drawn from
// whichever font has it.
QImage TerminalGlyphs::draw(const Key& key) const {
  const int cells = (key.flags & kWide) != 0 ? 2 : 1;
  QImage image(cell_.width() * cells, cell_.height(), QImage::Format_RGB32);
  image.fill(key.paper);
  if (key.chars[0] == 0 || (key.chars[0] == U' ' && key.chars[1] == 0)) return image;
  QFont font = font_;
  font.setBold((key.flags & kBold) != 0);
  font.setItalic((key.flags & kItalic) != 0);
  QPainter painter(&image);
  painter.setFont(font);
  painter.setPen(QColor(key.ink));
  painter.scale(ratio_, ratio_);
  painter.setClipRect(QRectF(0, 0, image.width() / ratio_, image.height() / ratio_));
  painter.drawText(QPointF(0, baseline_), text_of(key.chars));
  return image;
}

}  // namespace platform
