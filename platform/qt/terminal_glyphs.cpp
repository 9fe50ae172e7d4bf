#include "platform/qt/terminal_glyphs.h"

#include <QPainter>
#include <QString>

#include <algorithm>

namespace platform {
namespace {

constexpr std::uint8_t kBold = 1;
constexpr std::uint8_t kItalic = 2;
constexpr std::uint8_t kWide = 4;

// The light lines of box drawing (U+2500..U+253C) that full-screen programs frame their windows
// with, as the arms they have from the cell's centre: drawn here to the cell's edges, so that they
// join from row to row, where a font's glyphs leave gaps between rows taller than themselves.
enum Arm : std::uint8_t { kLeft = 1, kRight = 2, kUp = 4, kDown = 8 };

std::uint8_t box_arms(char32_t c) {
  switch (c) {
    case U'\u2500': return kLeft | kRight;
    case U'\u2502': return kUp | kDown;
    case U'\u250C': return kRight | kDown;
    case U'\u2510': return kLeft | kDown;
    case U'\u2514': return kRight | kUp;
    case U'\u2518': return kLeft | kUp;
    case U'\u251C': return kUp | kDown | kRight;
    case U'\u2524': return kUp | kDown | kLeft;
    case U'\u252C': return kLeft | kRight | kDown;
    case U'\u2534': return kLeft | kRight | kUp;
    case U'\u253C': return kLeft | kRight | kUp | kDown;
    default: return 0;
  }
}

void draw_box_arms(QImage& image, std::uint8_t arms, QRgb ink, qreal ratio) {
  const int width = image.width();
  const int height = image.height();
  const int thickness = std::max(1, qRound(ratio));
  const int x = (width - thickness) / 2;
  const int y = (height - thickness) / 2;
  QPainter painter(&image);
  const QColor colour(ink);
  if (arms & kLeft) painter.fillRect(0, y, x + thickness, thickness, colour);
  if (arms & kRight) painter.fillRect(x, y, width - x, thickness, colour);
  if (arms & kUp) painter.fillRect(x, 0, thickness, y + thickness, colour);
  if (arms & kDown) painter.fillRect(x, y, thickness, height - y, colour);
}

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
  for (std::size_t style = 0; style < fonts_.size(); ++style) {
    fonts_[style] = font;
    fonts_[style].setBold((style & kBold) != 0);
    fonts_[style].setItalic((style & kItalic) != 0);
  }
  cell_ = cell;
  baseline_ = baseline;
  ratio_ = ratio;
  painter_.reset();
  glyphs_.clear();
  sheets_.clear();
  last_sheet_ = nullptr;
}

TerminalGlyphs::Sheet& TerminalGlyphs::sheet(QRgb ink, QRgb paper, std::uint8_t flags) {
  const auto same = [&](const Sheet& sheet) {
    return sheet.ink == ink && sheet.paper == paper && sheet.flags == flags;
  };
  if (last_sheet_ != nullptr && same(*last_sheet_)) return *last_sheet_;
  for (const auto& kept : sheets_) {
    if (same(*kept)) return *(last_sheet_ = kept.get());
  }
  if (sheets_.size() >= kMaxSheets) sheets_.clear();
  sheets_.push_back(std::make_unique<Sheet>());
  last_sheet_ = sheets_.back().get();
  last_sheet_->ink = ink;
  last_sheet_->paper = paper;
  last_sheet_->flags = flags;
  return *last_sheet_;
}

const QImage& TerminalGlyphs::glyph(const terminal::Cell& cell, QRgb ink, QRgb paper) {
  Key key;
  key.chars = cell.chars;
  key.ink = ink;
  key.paper = paper;
  key.flags = static_cast<std::uint8_t>((cell.style.bold ? kBold : 0) | (cell.style.italic ? kItalic : 0) |
                                        (cell.width == 2 ? kWide : 0));
  if (cell.chars[0] < kSheetCharacters && cell.chars[1] == 0 && cell.width != 2) {
    QImage& glyph = sheet(ink, paper, key.flags).glyphs[cell.chars[0]];
    if (glyph.isNull()) glyph = draw(key);
    return glyph;
  }
  if (const auto found = glyphs_.find(key); found != glyphs_.end()) return found->second;
  if (glyphs_.size() >= kMaxGlyphs) glyphs_.clear();
  return glyphs_.emplace(key, draw(key)).first->second;
}

// A glyph is clipped to its cell, as a character grid has it; one the font lacks is drawn from
// whichever font has it. Every glyph is drawn by one painter kept open on a scratch image, so that
// the fonts it holds keep their engines: a painter begun anew resolves its font again each time.
QImage TerminalGlyphs::draw(const Key& key) {
  const int cells = (key.flags & kWide) != 0 ? 2 : 1;
  const QRect place(0, 0, cell_.width() * cells, cell_.height());
  QImage image(place.size(), QImage::Format_RGB32);
  image.fill(key.paper);
  if (key.chars[0] == 0 || (key.chars[0] == U' ' && key.chars[1] == 0)) return image;
  if (const std::uint8_t arms = box_arms(key.chars[0]); arms != 0 && key.chars[1] == 0) {
    draw_box_arms(image, arms, key.ink, ratio_);
    return image;
  }
  QPainter& painter = scratch_painter();
  painter.setCompositionMode(QPainter::CompositionMode_Source);
  painter.fillRect(QRectF(0, 0, place.width() / ratio_, place.height() / ratio_), QColor(key.paper));
  painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
  painter.setFont(fonts_[key.flags & (kBold | kItalic)]);
  painter.setPen(QColor(key.ink));
  painter.setClipRect(QRectF(0, 0, place.width() / ratio_, place.height() / ratio_));
  painter.drawText(QPointF(0, baseline_), text_of(key.chars));
  return scratch_.copy(place);
}

QPainter& TerminalGlyphs::scratch_painter() {
  if (painter_ != nullptr) return *painter_;
  scratch_ = QImage(cell_.width() * 2, cell_.height(), QImage::Format_RGB32);
  painter_ = std::make_unique<QPainter>(&scratch_);
  painter_->scale(ratio_, ratio_);
  return *painter_;
}

}  // namespace platform
