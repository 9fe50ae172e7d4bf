// The trace display on screen: paints the text model in an 80-column grid of a fixed-pitch font and
// turns the mouse, the wheel and the keyboard into model operations. Keys go through the display
// surface, so the dialog's keyboard filter sees each one before the model acts on it.
//
// The font is the largest whose grid of 80 columns and kPaintedRows rows fits the widget at its
// smallest (its minimum size, or its size when it has none). A taller widget paints more rows of
// that font: the model's page and the row below it stay at the bottom, and the rows added show the
// trace above them, so the newest bytes stay in the last row. The grid never gets wider than 80
// columns: no view lays its text out wider.
#pragma once

#include <QColor>
#include <QFont>
#include <QFrame>
#include <QImage>
#include <QRect>
#include <QSize>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/display_surface.h"
#include "platform/qt/cell_atlas.h"
#include "platform/qt/qt_clipboard.h"

class QPainter;
class QScrollBar;

namespace platform {

class ScreenWidget final : public QFrame {
 public:
  // The trace views keep the caret's row just below the 25-row page, so that the newest partial
  // row of bytes is on screen: the widget shows the page and that one row more.
  static constexpr int kPaintedRows = kDisplayPageRows + 1;

  explicit ScreenWidget(DisplaySurface& surface, QWidget* parent = nullptr);
  ~ScreenWidget() override;
  ScreenWidget(const ScreenWidget&) = delete;
  ScreenWidget& operator=(const ScreenWidget&) = delete;

  DisplaySurface& surface() { return surface_; }

  // Repaints and brings the scroll bar up to date when the model has changed since last time.
  void refresh();

  QScrollBar* scroll_bar() const { return scroll_bar_; }
  // One character cell, and the cell of `column` in painted row `page_row` (0 = the first
  // painted row), in widget coordinates.
  QSize cell_size() const { return cell_; }
  QRect cell_rect(int page_row, int column) const;
  // How many rows are painted, and the model's row painted first.
  int painted_rows() const { return painted_rows_; }
  int top_row() const;

  QSize sizeHint() const override;

 protected:
  bool event(QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  struct Cell {
    int row;     // model row
    int column;  // 0..80, the nearest boundary between characters
  };

  // What one row of the page image shows, kept to find the rows that changed. A row not `valid`
  // is blank in the image.
  struct RowPaint {
    bool valid = false;
    std::string text;  // the row's characters, its LF included
    std::array<Colour, kDisplayColumns + 1> colours{};
    int selected_from = 0;  // columns of the selection on the row
    int selected_to = 0;
  };
  // A selected LF shows as one cell beyond the 80 columns.
  static constexpr int kGridColumns = kDisplayColumns + 1;

  QRect text_area() const;
  QRect text_area(QSize size) const;
  int rows_above_page() const { return painted_rows_ - kPaintedRows; }
  void scroll_to(int top);
  QRect text_background() const;
  QRect grid_rect() const;  // the painted rows, with the column of a selected LF  // the text area with its margins, the scroll bar excluded
  void fit_font();
  Cell cell_at(QPoint point) const;
  void sync_scroll_bar();
  bool row_unchanged(int page_row, int row, Selection selection);
  bool page_unchanged();
  void set_up_page();
  void update_page();
  void draw_row(int page_row, const RowPaint& paint);
  void blank_row(int page_row);

  DisplaySurface& surface_;
  QtClipboard clipboard_;
  QScrollBar* scroll_bar_;
  QFont font_;
  CellAtlas atlas_;
  QImage page_;  // the painted rows, in device pixels
  qreal page_ratio_ = 0;  // device pixels to the pixel when `page_` was set up
  std::array<int, kGridColumns + 1> column_edges_{};  // in device pixels, within `page_`
  std::vector<int> row_edges_;
  std::vector<RowPaint> rows_;
  int painted_rows_ = kPaintedRows;
  RowPaint fetched_;  // the row as the model has it now, read for comparison
  int painted_first_ = -1;
  Selection painted_selection_;
  QSize cell_{8, 16};
  int baseline_ = 12;  // from the top of a cell
  std::uint64_t seen_revision_ = 0;
  int wheel_remainder_ = 0;  // eighths of a degree not yet worth a notch
};

}  // namespace platform
