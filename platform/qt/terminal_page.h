// The terminal's grid as an image in device pixels, kept up to date a row at a time.
//
// How it works
//   Each row remembers the cells it was drawn from, and which of them were selected. A row the
//   emulator reports changed is read again: a row that is the same as one drawn a few rows lower
//   (the screen scrolled up) is copied from there, and within a row only the cells that differ
//   from what was drawn are drawn again, each copied from the glyph cache (terminal_glyphs.h) with
//   its underline or strike line drawn over it. A scrolling screen thus costs a copy of its pixels
//   and the drawing of its new rows, and a full-screen program's changing figures a few cells.
//
//   Bold text in one of the eight first colours is drawn in its bright form, as xterm does:
//   programs (dialog's window borders among them) draw bold white on white and count on it.
#pragma once

#include <QFont>
#include <QImage>
#include <QRgb>
#include <QSize>

#include <vector>

#include "platform/qt/terminal_glyphs.h"
#include "platform/terminal_surface.h"

namespace platform {

class TerminalPage {
 public:
  struct Look {
    QFont font;
    QSize cell;      // in pixels
    int baseline;    // from the top of a cell, in pixels
    qreal ratio;     // device pixels to the pixel
    QRgb highlight;  // the selection's paper and ink
    QRgb highlighted_text;
  };

  // A page for `size`, drawn in `look`; every row is drawn at the next update.
  void reset(TerminalSize size, const Look& look);

  // Brings the rows flagged in `rows` up to date with the surface; a flag stays set only where the
  // row's pixels changed.
  void update(const TerminalSurface& surface, std::vector<bool>& rows);

  const QImage& image() const { return image_; }
  TerminalSize size() const { return size_; }

  // A cell's colours as drawn: bold brightened, reverse video swapped.
  static void colours_of(const terminal::Cell& cell, const terminal::Emulator& emulator, QRgb& ink, QRgb& paper);
  // The glyph of a cell in the given colours, one cell wide (the cursor drawn over the page).
  const QImage& glyph(terminal::Cell cell, QRgb ink, QRgb paper);

 private:
  struct PaintedCell {
    terminal::Cell cell;
    bool selected = false;
    bool operator==(const PaintedCell&) const = default;
  };
  struct PaintedRow {
    bool valid = false;
    std::vector<PaintedCell> cells;
  };

  void fetch(const TerminalSurface& surface, int row);
  int scrolled_from(int row) const;
  void copy_row(int from, int to);
  void draw_changes(const terminal::Emulator& emulator, int row);
  void draw_cell(const terminal::Emulator& emulator, int row, int column, const PaintedCell& painted);
  void draw_line_over(int row, int left, int width, int from_top, int thickness, QRgb ink);

  TerminalSize size_{0, 0};
  Look look_;
  TerminalGlyphs glyphs_;
  QImage image_;
  std::vector<int> column_edges_;  // device pixels
  std::vector<int> row_edges_;
  std::vector<PaintedRow> rows_;
  std::vector<terminal::Cell> read_;
  std::vector<PaintedCell> fetched_;
};

}  // namespace platform
