// The terminal widget on its own terminal surface: what it paints where, the scrollback by wheel and
// keys, the selection, copy and paste, and the choices of its menu.
#include <QApplication>
#include <QClipboard>
#include <QMenu>
#include <QScrollBar>
#include <QTest>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/qt/terminal_widget.h"
#include "platform/terminal_surface.h"

namespace {

using platform::TerminalInput;
using platform::TerminalSize;
using platform::TerminalSurface;
using platform::TerminalWidget;

class TerminalWidgetTest : public ::testing::Test {
 protected:
  TerminalWidgetTest() {
    surface.set_input_listener([this](const TerminalInput& input) {
      inputs.emplace_back(input.kind, std::string(input.bytes));
    });
    widget.resize(900, 560);
    widget.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&widget));
    widget.activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(&widget));
    widget.setFocus();
  }

  void feed(const std::string& bytes) {
    surface.emulator().feed(bytes);
    widget.refresh();
  }
  // The painted pixel at a fraction of a cell's width and height, in device pixels of the grid.
  QRgb pixel(int row, int column, double x = 0.05, double y = 0.05) {
    const QImage& grid = widget.grid_image();
    const double ratio = grid.devicePixelRatio();
    const QSize cell = widget.cell_size();
    return grid.pixel(static_cast<int>((column + x) * cell.width() * ratio),
                      static_cast<int>((row + y) * cell.height() * ratio)) & 0xFFFFFF;
  }
  // Whether a pixel of the cell has the colour (a line drawn across a blank, say).
  bool cell_holds(int row, int column, QRgb colour) {
    for (double y = 0; y < 1; y += 0.02)
      if (pixel(row, column, 0.5, y) == colour) return true;
    return false;
  }
  QPoint centre(int row, int column) { return widget.cell_rect(row, column).center(); }
  void wheel(int notches) {
    const QPointF at = centre(5, 5);
    QWheelEvent event(at, widget.mapToGlobal(at), QPoint(), QPoint(0, notches * 120), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(&widget, &event);
  }
  QAction* action(QMenu& menu, const QString& text) {
    for (QAction* item : menu.findChildren<QAction*>())
      if (item->text() == text) return item;
    ADD_FAILURE() << "no menu entry " << text.toStdString();
    return nullptr;
  }

  TerminalSurface surface;
  TerminalWidget widget{surface};
  std::vector<std::pair<TerminalInput::Kind, std::string>> inputs;
};

TEST_F(TerminalWidgetTest, CellsArePaintedInTheirColoursAndStyles) {
  const struct {
    const char* name;
    std::string bytes;  // written at the top left of a cleared screen
    QRgb paper;         // at the cell's top left corner
    std::optional<QRgb> underline;
  } cases[] = {
      {"default colours", "x", 0x000000, std::nullopt},
      {"16 colours", "\x1b[44mx", 0x0000E0, std::nullopt},
      {"256 colours", "\x1b[48;5;196mx", 0xFF0000, std::nullopt},
      {"true colour", "\x1b[48;2;200;100;50mx", 0xC86432, std::nullopt},
      {"reverse video", "\x1b[7;38;2;1;2;3mx", 0x010203, std::nullopt},
      {"underline in its ink", "\x1b[4;38;2;10;200;30m ", 0x000000, 0x0AC81E},
      {"bold takes the bright colour", "\x1b[1;4;32m ", 0x000000, 0x40FF40},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    feed("\x1b[0m\x1b[2J\x1b[H" + c.bytes + "\x1b[0m");
    EXPECT_EQ(pixel(0, 0), c.paper);
    EXPECT_TRUE(!c.underline || cell_holds(0, 0, *c.underline));
  }
}

TEST_F(TerminalWidgetTest, TheAlternateScreenComesAndGoesAndTheCursorIsDrawnOverTheGrid) {
  feed("main screen\r\n\x1b[41mred\x1b[0m");
  const QImage main_screen = widget.grid_image().copy();
  feed("\x1b[?1049h\x1b[H\x1b[42mgreen");
  EXPECT_TRUE(surface.emulator().alternate_screen());
  EXPECT_EQ(pixel(0, 0), 0x00E000u);
  feed("\x1b[?1049l");
  EXPECT_EQ(widget.grid_image(), main_screen);

  // The block cursor, after "red", is painted on the widget in the text's colour, not into the grid.
  ASSERT_TRUE(widget.hasFocus());
  const QImage shown = widget.grab().toImage();
  const QPoint cursor = widget.cell_rect(1, 3).topLeft() * shown.devicePixelRatio() + QPoint(1, 1);
  const terminal::Rgb ink = surface.emulator().cell(-1, -1).foreground.rgb;
  EXPECT_EQ(shown.pixel(cursor) & 0xFFFFFF, qRgb(ink.red, ink.green, ink.blue) & 0xFFFFFF);
  EXPECT_EQ(pixel(1, 3), 0u);
}

TEST_F(TerminalWidgetTest, TheWheelAndShiftPageKeysScrollBackAndTypingComesBackLive) {
  for (int line = 0; line < 60; ++line) feed("line " + std::to_string(line) + "\r\n");
  const QImage live = widget.grid_image().copy();
  wheel(1);
  EXPECT_EQ(surface.emulator().view_offset(), 3);
  QTest::keyClick(&widget, Qt::Key_PageUp, Qt::ShiftModifier);
  EXPECT_EQ(surface.emulator().view_offset(), 26);
  EXPECT_EQ(widget.scroll_bar()->value(), widget.scroll_bar()->maximum() - 26);
  EXPECT_NE(widget.grid_image(), live);
  QTest::keyClick(&widget, Qt::Key_PageDown, Qt::ShiftModifier);
  EXPECT_EQ(surface.emulator().view_offset(), 3);
  EXPECT_TRUE(inputs.empty());  // scrolling is the window's own

  QTest::keyClick(&widget, Qt::Key_X);
  EXPECT_EQ(surface.emulator().view_offset(), 0);
  EXPECT_EQ(widget.grid_image(), live);
  ASSERT_EQ(inputs.size(), 1u);
  EXPECT_EQ(inputs[0].second, "x");
}

TEST_F(TerminalWidgetTest, ANewSizeKeepsTheContentAndFitsTheWidget) {
  feed("kept\r\n");
  surface.set_size({43, 132});
  widget.refresh();
  EXPECT_EQ(surface.emulator().cell(0, 0).chars[0], U'k');
  EXPECT_EQ(widget.grid_image().width(), 132 * widget.cell_size().width());
  EXPECT_LE(widget.cell_rect(42, 131).bottomRight().x(), widget.width());
  EXPECT_LE(widget.cell_rect(42, 131).bottomRight().y(), widget.height());
}

TEST_F(TerminalWidgetTest, DraggingSelectsCopyAndPasteUseTheShortcutsAndCtrlCIsSent) {
  feed("hello world\r\nsecond");
  QTest::mousePress(&widget, Qt::LeftButton, Qt::NoModifier, widget.cell_rect(0, 6).topLeft() + QPoint(1, 2));
  QTest::mouseMove(&widget, widget.cell_rect(1, 3).topLeft() + QPoint(1, 2));
  QTest::mouseRelease(&widget, Qt::LeftButton, Qt::NoModifier, widget.cell_rect(1, 3).topLeft() + QPoint(1, 2));
  EXPECT_EQ(surface.selected_text(), "world\nsec");
  EXPECT_NE(pixel(0, 6), pixel(0, 0));  // shown selected

  QTest::keyClick(&widget, Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_EQ(QApplication::clipboard()->text().toStdString(), "world\nsec");
  QApplication::clipboard()->setText(QString::fromUtf8("pasted \u00e9"));
  QTest::keyClick(&widget, Qt::Key_V, Qt::ControlModifier | Qt::ShiftModifier);
  QTest::keyClick(&widget, Qt::Key_C, Qt::ControlModifier);
  const std::vector<std::pair<TerminalInput::Kind, std::string>> expected = {
      {TerminalInput::Kind::Paste, "pasted \u00e9"}, {TerminalInput::Kind::Typed, "\x03"}};
  EXPECT_EQ(inputs, expected);

  QTest::mouseDClick(&widget, Qt::LeftButton, Qt::NoModifier, centre(0, 1));
  EXPECT_EQ(surface.selected_text(), "hello");
}

TEST_F(TerminalWidgetTest, TheMenuSetsSizeDecodingAndBackspaceAndCopies) {
  std::unique_ptr<QMenu> menu(widget.make_menu(nullptr));
  action(*menu, "132x43")->trigger();
  EXPECT_EQ(surface.size(), (TerminalSize{43, 132}));
  action(*menu, "Latin-1")->trigger();
  EXPECT_EQ(surface.decoding(), terminal::Decoding::Latin1);
  action(*menu, "BS (^H)")->trigger();
  EXPECT_EQ(surface.backspace(), terminal::BackspaceSends::Backspace);
  EXPECT_FALSE(action(*menu, "Copy")->isEnabled());  // nothing selected

  // A size set elsewhere (the settings file) is offered too, and checked.
  surface.set_size({30, 90});
  menu.reset(widget.make_menu(nullptr));
  EXPECT_TRUE(action(*menu, "90x30")->isChecked());
}

}  // namespace
