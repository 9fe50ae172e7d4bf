// The terminal screen on screen: paints the emulator's cells (characters in their colours and
// styles, the cursor, the selection) in a grid of the terminal's size, and turns keys, the mouse
// and the wheel into what the terminal surface takes.
//
// How it works
//   Painting. The grid is kept as an image (terminal_page.h) in which only the rows the emulator
//   reports changed (its damage) are brought up to date; the cursor is drawn over it. The font is
//   the largest whose grid of the terminal's columns and rows fits the widget, so a larger window
//   shows larger letters; a grid too large for the smallest font is cut at the right and bottom.
//   Bold is a bold font; blinking text does not blink.
//
//   Keys. Ctrl+Shift+C copies the selection, Ctrl+Shift+V and Shift+Insert paste the clipboard,
//   Shift+Page Up and Shift+Page Down scroll a page back and forth; every other key goes to the
//   far end as xterm sends it (terminal_keys.h), Tab and Escape included: they never move the focus
//   or close the window while the terminal has it.
//
//   Mouse. Dragging selects, from the character boundary nearest to where the button went down to
//   the one nearest the pointer, and puts the text in the X selection; a double click selects a
//   word; the middle button pastes the X selection; the wheel scrolls three lines a notch through
//   the scrollback, as does the scroll bar. The context menu holds Copy, Paste, and the size,
//   decoding and Backspace choices of the terminal.
#pragma once

#include <QFont>
#include <QFrame>
#include <QImage>
#include <QRect>
#include <QSize>
#include <QString>

#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "platform/qt/terminal_page.h"
#include "platform/terminal_surface.h"

class QMenu;
class QPainter;
class QScrollBar;

namespace platform {

class TerminalWidget final : public QFrame {
 public:
  // The sizes the context menu offers, columns by rows.
  static constexpr TerminalSize kOfferedSizes[] = {{24, 80},  {25, 80},  {43, 80},  {50, 80},
                                                   {30, 100}, {24, 132}, {43, 132}, {50, 132}};

  explicit TerminalWidget(TerminalSurface& surface, QWidget* parent = nullptr);
  ~TerminalWidget() override;
  TerminalWidget(const TerminalWidget&) = delete;
  TerminalWidget& operator=(const TerminalWidget&) = delete;

  TerminalSurface& surface() { return surface_; }

  // Paints what changed since the last call: rows, cursor, selection, size, scroll position.
  void refresh();

  // The context menu, its actions acting on the surface; the caller owns it.
  QMenu* make_menu(QWidget* parent);

  // Where things are, in widget coordinates: one cell, and the cell of a viewport row and column.
  QSize cell_size() const { return cell_; }
  QRect cell_rect(int row, int column) const;
  // The painted grid, in device pixels (the cursor not on it).
  const QImage& grid_image() const { return page_.image(); }
  QScrollBar* scroll_bar() const { return scroll_bar_; }

  void copy();
  void paste();

  QSize sizeHint() const override;

 protected:
  bool event(QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  struct Shown {
    terminal::Cursor cursor;
    bool focused = false;
    bool operator==(const Shown& other) const {
      return cursor.row == other.cursor.row && cursor.column == other.cursor.column &&
             cursor.visible == other.cursor.visible && focused == other.focused;
    }
  };

  bool shortcut(QKeyEvent* event);
  QRect text_area() const;
  QRect grid_rect() const;
  void fit_font();
  void set_up_page();
  void paint_cursor(QPainter& painter);
  std::vector<std::pair<TerminalSize, QString>> size_choices() const;
  terminal::LinePosition boundary_at(QPoint point) const;
  void sync_scroll_bar();
  void update_rows(const std::vector<bool>& rows);
  void set_x_selection();

  TerminalSurface& surface_;
  QScrollBar* scroll_bar_;
  QFont font_;
  TerminalPage page_;
  qreal page_ratio_ = 0;
  QSize cell_{8, 16};
  int baseline_ = 12;
  TerminalSize painted_size_{0, 0};
  std::uint64_t seen_revision_ = 0;
  std::optional<TerminalSelection> painted_selection_;
  Shown shown_;
  int wheel_remainder_ = 0;
  bool selecting_ = false;
};

}  // namespace platform
