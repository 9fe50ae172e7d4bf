#include "platform/qt/terminal_page.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace platform {
namespace {

QRgb to_qrgb(terminal::Rgb rgb) { return qRgb(rgb.red, rgb.green, rgb.blue); }

}  // namespace

// Cells are placed at the nearest device pixel of their place in the grid, so that at a fractional
// ratio the grid still lines up with the mouse.
void TerminalPage::reset(TerminalSize size, const Look& look) {
  size_ = size;
  look_ = look;
  column_edges_.resize(static_cast<std::size_t>(size.columns) + 1);
  for (std::size_t c = 0; c < column_edges_.size(); ++c)
    column_edges_[c] = qRound(static_cast<qreal>(c) * look.cell.width() * look.ratio);
  row_edges_.resize(static_cast<std::size_t>(size.rows) + 1);
  for (std::size_t r = 0; r < row_edges_.size(); ++r)
    row_edges_[r] = qRound(static_cast<qreal>(r) * look.cell.height() * look.ratio);
  image_ = QImage(column_edges_.back(), row_edges_.back(), QImage::Format_RGB32);
  image_.setDevicePixelRatio(look.ratio);
  const QSize device_cell(static_cast<int>(std::ceil(look.cell.width() * look.ratio)),
                          static_cast<int>(std::ceil(look.cell.height() * look.ratio)));
  glyphs_.reset(look.font, device_cell, look.baseline, look.ratio);
  rows_.assign(static_cast<std::size_t>(size.rows), PaintedRow{});
  read_.resize(static_cast<std::size_t>(size.columns));
}

void TerminalPage::update(const TerminalSurface& surface, std::vector<bool>& rows) {
  const int count = std::min(static_cast<int>(rows.size()), size_.rows);
  int shift = 0;  // how far the screen moved up, once known; -1: it did not
  for (int row = 0; row < count; ++row) {
    if (!rows[static_cast<std::size_t>(row)]) continue;
    fetch(surface, row);
    PaintedRow& painted = rows_[static_cast<std::size_t>(row)];
    if (painted.valid && painted.cells == fetched_) {
      rows[static_cast<std::size_t>(row)] = false;
      continue;
    }
    if (shift == 0) shift = scrolled_from(row) - row;
    if (shift > 0 && row + shift < size_.rows && rows_[static_cast<std::size_t>(row + shift)].cells == fetched_)
      copy_row(row + shift, row);
    else
      draw_changes(surface.emulator(), row);
  }
}

void TerminalPage::fetch(const TerminalSurface& surface, int row) {
  surface.emulator().read_row(row, read_);
  fetched_.resize(read_.size());
  for (std::size_t column = 0; column < read_.size(); ++column)
    fetched_[column] = {read_[column], surface.selected(row, static_cast<int>(column))};
}

// The row below `row` drawn as `row` is to be now: where the screen's text came from when it
// scrolled up; `row` itself when none is.
int TerminalPage::scrolled_from(int row) const {
  for (int below = row + 1; below < size_.rows; ++below) {
    const PaintedRow& painted = rows_[static_cast<std::size_t>(below)];
    if (painted.valid && painted.cells == fetched_) return below;
  }
  return row - 1;  // a shift of -1: no more looking this update
}

// Rows are taken top down, so a row below is still as drawn when it is copied up.
void TerminalPage::copy_row(int from, int to) {
  const auto source = static_cast<std::size_t>(from);
  const auto target = static_cast<std::size_t>(to);
  const int lines = std::min(row_edges_[source + 1] - row_edges_[source], row_edges_[target + 1] - row_edges_[target]);
  const qsizetype stride = image_.bytesPerLine();
  uchar* bits = image_.bits();
  std::memcpy(bits + row_edges_[target] * stride, bits + row_edges_[source] * stride,
              static_cast<std::size_t>(lines * stride));
  rows_[target] = rows_[source];
}

// The cells that differ from what was drawn; a wide character's two cells go together.
void TerminalPage::draw_changes(const terminal::Emulator& emulator, int row) {
  PaintedRow& painted = rows_[static_cast<std::size_t>(row)];
  const bool all = !painted.valid || painted.cells.size() != fetched_.size();
  const int columns = static_cast<int>(fetched_.size());
  for (int column = 0; column < columns; ++column) {
    const auto at = static_cast<std::size_t>(column);
    const bool wide = fetched_[at].cell.width == 2 && column + 1 < columns;
    const bool changed =
        all || painted.cells[at] != fetched_[at] || (wide && painted.cells[at + 1] != fetched_[at + 1]);
    if (fetched_[at].cell.width == 0 && column > 0) continue;  // the right half of a wide character, drawn with it
    if (changed) draw_cell(emulator, row, column, fetched_[at]);
  }
  painted.cells = fetched_;
  painted.valid = true;
}

void TerminalPage::colours_of(const terminal::Cell& cell, const terminal::Emulator& emulator, QRgb& ink, QRgb& paper) {
  const terminal::Colour& foreground = cell.foreground;
  const bool bright = cell.style.bold && foreground.kind == terminal::Colour::Kind::Palette && foreground.index < 8;
  ink = bright ? to_qrgb(emulator.palette_colour(static_cast<std::uint8_t>(foreground.index + 8)))
               : to_qrgb(foreground.rgb);
  paper = to_qrgb(cell.background.rgb);
  if (cell.style.reverse) std::swap(ink, paper);
}

const QImage& TerminalPage::glyph(terminal::Cell cell, QRgb ink, QRgb paper) {
  cell.width = 1;
  return glyphs_.glyph(cell, ink, paper);
}

void TerminalPage::draw_cell(const terminal::Emulator& emulator, int row, int column, const PaintedCell& painted) {
  const terminal::Cell& cell = painted.cell;
  QRgb ink = 0;
  QRgb paper = 0;
  colours_of(cell, emulator, ink, paper);
  if (painted.selected) {
    ink = look_.highlighted_text;
    paper = look_.highlight;
  }
  const QImage& glyph = glyphs_.glyph(cell, ink, paper);
  const auto first = static_cast<std::size_t>(column);
  const std::size_t last = std::min(first + (cell.width == 2 ? 2 : 1), column_edges_.size() - 1);
  const int left = column_edges_[first];
  const int width = std::min(column_edges_[last] - left, glyph.width());
  const int top = row_edges_[static_cast<std::size_t>(row)];
  const int bottom = row_edges_[static_cast<std::size_t>(row) + 1];
  const int height = std::min(bottom - top, glyph.height());
  const qsizetype stride = image_.bytesPerLine();
  const qsizetype glyph_stride = glyph.bytesPerLine();
  uchar* to = image_.bits() + top * stride + left * 4;
  const uchar* from = glyph.constBits();
  for (int y = 0; y < height; ++y, to += stride, from += glyph_stride)
    std::memcpy(to, from, static_cast<std::size_t>(width) * 4);
  const int thickness = std::max(1, (bottom - top) / 16);
  if (cell.style.underline != 0) draw_line_over(row, left, width, bottom - top - 2 * thickness, thickness, ink);
  if (cell.style.underline == 2) draw_line_over(row, left, width, bottom - top - 4 * thickness, thickness, ink);
  if (cell.style.strike) draw_line_over(row, left, width, (bottom - top) / 2, thickness, ink);
}

void TerminalPage::draw_line_over(int row, int left, int width, int from_top, int thickness, QRgb ink) {
  const int top = row_edges_[static_cast<std::size_t>(row)] + std::max(0, from_top);
  const int bottom = std::min(top + thickness, row_edges_[static_cast<std::size_t>(row) + 1]);
  for (int y = top; y < bottom; ++y) {
    auto* line = reinterpret_cast<QRgb*>(image_.scanLine(y));
    std::fill(line + left, line + left + width, ink);
  }
}

}  // namespace platform
