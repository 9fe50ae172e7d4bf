// The display widget: keys through the keyboard filter to the model, the clipboard, the mouse and
// the wheel, the scroll bar, and what is painted where.
#include <QApplication>
#include <QClipboard>
#include <QScrollBar>
#include <QTest>
#include <QWheelEvent>

#include <string>
#include <utility>
#include <vector>

#include "platform/qt/screen_widget.h"
#include "tests/qt/qt_fixture.h"

namespace qttest {
namespace {

using platform::DialogHost;
using platform::DialogMessage;
using platform::KeyMessage;
using platform::ScreenWidget;
using Keys = std::vector<std::pair<int, int>>;
using QtScreenTest = DialogTest;

constexpr int kDown = 0;
constexpr int kChar = 1;

TEST_F(QtScreenTest, KeysReachTheKeyboardFilterAsKeyDownThenCharacter) {
  show();
  struct Case {
    const char* name;
    Qt::Key key;
    Qt::KeyboardModifiers modifiers;
    QString text;
    Keys expected;
  };
  const Qt::KeyboardModifiers none;
  const Case cases[] = {
      {"letter", Qt::Key_A, none, "a", {{kDown, 0x41}, {kChar, 'a'}}},
      {"capital", Qt::Key_A, Qt::ShiftModifier, "A", {{kDown, 0x41}, {kChar, 'A'}}},
      {"digit", Qt::Key_1, none, "1", {{kChar, '1'}}},
      {"Latin-1 letter", Qt::Key_Eacute, none, QString(QChar(0xE9)), {{kChar, 0xE9}}},
      {"beyond Latin-1", Qt::Key_unknown, none, QString(QChar(0x20AC)), {}},
      {"Enter", Qt::Key_Return, none, "\r", {{kDown, 0x0D}, {kChar, 13}}},
      {"keypad Enter", Qt::Key_Enter, Qt::KeypadModifier, "\r", {{kDown, 0x0D}, {kChar, 13}}},
      {"Backspace", Qt::Key_Backspace, none, "\b", {{kDown, 0x08}, {kChar, 8}}},
      {"Tab", Qt::Key_Tab, none, "\t", {{kDown, 0x09}, {kChar, 9}}},
      {"Escape", Qt::Key_Escape, none, "\x1b", {{kDown, 0x1B}}},
      {"Delete", Qt::Key_Delete, none, "\x7f", {{kDown, 0x2E}}},
      {"Ctrl+C without text", Qt::Key_C, Qt::ControlModifier, "", {{kDown, 0x43}, {kChar, 3}}},
      {"Ctrl+V", Qt::Key_V, Qt::ControlModifier, "\x16", {{kDown, 0x56}, {kChar, 0x16}}},
      {"Ctrl+digit", Qt::Key_1, Qt::ControlModifier, "1", {}},
      // The control characters beyond Ctrl+A..Z; Shift is what types @, ^ and _ on most layouts.
      {"Ctrl+@", Qt::Key_At, Qt::ControlModifier | Qt::ShiftModifier, "", {{kChar, 0x00}}},
      {"Ctrl+[", Qt::Key_BracketLeft, Qt::ControlModifier, "", {{kChar, 0x1B}}},
      {"Ctrl+\\", Qt::Key_Backslash, Qt::ControlModifier, "", {{kChar, 0x1C}}},
      {"Ctrl+]", Qt::Key_BracketRight, Qt::ControlModifier, "", {{kChar, 0x1D}}},
      {"Ctrl+^", Qt::Key_AsciiCircum, Qt::ControlModifier | Qt::ShiftModifier, "", {{kChar, 0x1E}}},
      {"Ctrl+_", Qt::Key_Underscore, Qt::ControlModifier | Qt::ShiftModifier, "", {{kChar, 0x1F}}},
      {"Alt+letter", Qt::Key_F, Qt::AltModifier, "f", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    seen.clear();
    QTest::sendKeyEvent(QTest::Click, host.screen_widget(), c.key, c.text, c.modifiers);
    EXPECT_EQ(keys(), c.expected);
    EXPECT_TRUE(commands().empty());  // neither Escape nor Enter is the dialog's here
  }
  EXPECT_EQ(host.focus(), kScreen);  // Tab stayed in the display
  const std::pair<Qt::Key, int> moves[] = {{Qt::Key_PageUp, 0x21}, {Qt::Key_PageDown, 0x22}, {Qt::Key_End, 0x23},
                                           {Qt::Key_Home, 0x24},   {Qt::Key_Left, 0x25},     {Qt::Key_Up, 0x26},
                                           {Qt::Key_Right, 0x27},  {Qt::Key_Down, 0x28}};
  for (const auto& [key, vk] : moves) {
    seen.clear();
    QTest::keyClick(host.screen_widget(), key);
    EXPECT_EQ(keys(), (Keys{{kDown, vk}})) << vk;
  }
}

TEST_F(QtScreenTest, TheModelActsOnTheCodeTheFilterLeaves) {
  show();
  on_message = [](DialogHost&, const DialogMessage& message) {
    if (message.filter != nullptr && message.filter->msg == KeyMessage::Char) {
      if (message.filter->code == 'a') message.filter->code = 'b';
      if (message.filter->code == 'x') message.filter->code = 0;
    }
    return 0;
  };
  QTest::keyClicks(host.screen_widget(), "axa");
  EXPECT_EQ(host.text(kScreen), "bb");
}

TEST_F(QtScreenTest, CopyAndPasteGoThroughTheDesktopClipboard) {
  show();
  host.set_text(kScreen, "hello world\xE9");
  host.screen().set_selection(6, 12);
  QTest::keyClick(host.screen_widget(), Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("world\u00E9"));

  // Lines copied elsewhere end in CR LF; characters beyond Latin-1 cannot be shown.
  QGuiApplication::clipboard()->setText(QStringLiteral("one\r\ntwo\u20AC"));
  host.screen().set_selection(0, 5);
  QTest::keyClick(host.screen_widget(), Qt::Key_V, Qt::ControlModifier);
  EXPECT_EQ(host.text(kScreen), "one\ntwo world\xE9");
}

// The colour of the pixel of a cell that differs most from the background: the glyph's colour, or
// the background when nothing is drawn there.
QColor ink(const QImage& image, const QRect& cell, const QColor& background) {
  QColor found = background;
  int most = 0;
  for (int y = cell.top(); y <= cell.bottom(); ++y) {
    for (int x = cell.left(); x <= cell.right(); ++x) {
      const QColor pixel = image.pixelColor(x, y);
      const int distance = std::abs(pixel.red() - background.red()) + std::abs(pixel.green() - background.green()) +
                           std::abs(pixel.blue() - background.blue());
      if (distance > most) {
        most = distance;
        found = pixel;
      }
    }
  }
  return found;
}

bool near(const QColor& a, const QColor& b) {
  return std::abs(a.red() - b.red()) < 48 && std::abs(a.green() - b.green()) < 48 && std::abs(a.blue() - b.blue()) < 48;
}

TEST_F(QtScreenTest, PaintsEachCharacterInItsColourAndTheRowBelowThePage) {
  show();
  platform::DisplaySurface& screen = host.screen();
  screen.set_insert_colour(0x000000FF);  // 0x00BBGGRR: red
  screen.replace_selection("M");
  screen.set_insert_colour(0x00FF0000);  // blue, with a TAB and an LF that show nothing
  screen.replace_selection("M\tM\n");
  screen.set_insert_colour(0x00008000);
  screen.replace_selection(std::string(24, '\n') + "\xE9");  // on the 26th row
  screen.set_selection(2, 4);
  host.dispatch_command(kClear);  // the display is brought up to date after every message

  ScreenWidget& widget = *host.screen_widget();
  const QImage image = widget.grab().toImage();
  const QPalette& palette = widget.palette();
  const QColor base = palette.color(QPalette::Base);
  auto at = [&](int row, int column) { return ink(image, widget.cell_rect(row, column), base); };
  EXPECT_TRUE(near(at(0, 0), QColor(255, 0, 0)));
  EXPECT_TRUE(near(at(0, 1), QColor(0, 0, 255)));
  EXPECT_EQ(at(0, 4), base);  // the LF
  EXPECT_EQ(at(1, 0), base);
  EXPECT_TRUE(near(at(ScreenWidget::kPaintedRows - 1, 0), QColor(0, 128, 0)));  // inside the box
  // The selection: the TAB and the M after it on the highlight.
  const QColor highlight = palette.color(QPalette::Highlight);
  EXPECT_EQ(image.pixelColor(widget.cell_rect(0, 2).topLeft()), highlight);
  EXPECT_EQ(image.pixelColor(widget.cell_rect(0, 3).topLeft()), highlight);
  EXPECT_TRUE(near(ink(image, widget.cell_rect(0, 3), highlight), palette.color(QPalette::HighlightedText)));

  // A row drawn before is drawn again when only its selection, or only its colours, change.
  screen.set_selection(screen.text_length(), screen.text_length());  // the caret away from row 0
  host.dispatch_command(kClear);
  const QImage unselected = widget.grab().toImage();
  EXPECT_EQ(unselected.pixelColor(widget.cell_rect(0, 2).topLeft()), base);
  EXPECT_TRUE(near(ink(unselected, widget.cell_rect(0, 3), base), QColor(0, 0, 255)));
  screen.set_default_colour(0x00008000);
  host.dispatch_command(kClear);
  const QImage recoloured = widget.grab().toImage();
  EXPECT_TRUE(near(ink(recoloured, widget.cell_rect(0, 0), base), QColor(0, 128, 0)));
  EXPECT_TRUE(near(ink(recoloured, widget.cell_rect(0, 3), base), QColor(0, 128, 0)));
}

// Bytes 0x80-0x9F show as Windows-1252 has them, as a browser shows the log's references to them;
// the five codes it leaves undefined, like the other control codes, stay blank.
TEST_F(QtScreenTest, BytesOf0x80To0x9FShowTheirWindows1252Characters) {
  show();
  std::string bytes;
  for (int byte = 0x80; byte < 0xA0; ++byte) bytes += static_cast<char>(byte);
  host.screen().replace_selection(bytes + "\x1b\x7f");
  host.dispatch_command(kClear);
  ScreenWidget& widget = *host.screen_widget();
  const QImage image = widget.grab().toImage();
  const QColor base = widget.palette().color(QPalette::Base);
  for (int column = 0; column < static_cast<int>(bytes.size()) + 2; ++column) {
    const int byte = column < 32 ? 0x80 + column : (column == 32 ? 0x1B : 0x7F);
    const bool undefined = byte == 0x81 || byte == 0x8D || byte == 0x8F || byte == 0x90 || byte == 0x9D;
    const bool blank = undefined || byte < 0x80;
    EXPECT_EQ(ink(image, widget.cell_rect(0, column), base) == base, blank) << std::hex << byte;
  }
}

// Colours are drawn ready a few at a time: a page in more colours than that, and a new background,
// still show every cell in its own colours.
TEST_F(QtScreenTest, EveryCellKeepsItsColoursInAPageOfManyColoursAndOnANewBackground) {
  show();
  constexpr int kColours = 40;  // any two differ by 85 or more in one component
  auto colour = [](int i) { return QColor((i % 4) * 85, (i / 4 % 4) * 85, (i / 16) * 127); };
  platform::DisplaySurface& screen = host.screen();
  for (int i = 0; i < kColours; ++i) {
    const QColor c = colour(i);
    screen.set_insert_colour(static_cast<platform::Colour>(c.red() | c.green() << 8 | c.blue() << 16));
    screen.replace_selection("M");
  }
  host.dispatch_command(kClear);
  ScreenWidget& widget = *host.screen_widget();
  const QImage image = widget.grab().toImage();
  for (int i = 0; i < kColours; ++i)
    EXPECT_TRUE(near(ink(image, widget.cell_rect(0, i), widget.palette().color(QPalette::Base)), colour(i))) << i;

  QPalette dark = widget.palette();
  dark.setColor(QPalette::Base, QColor(20, 20, 20));
  widget.setPalette(dark);
  const QImage redrawn = widget.grab().toImage();
  EXPECT_EQ(redrawn.pixelColor(widget.cell_rect(0, kColours).center()), QColor(20, 20, 20));
  EXPECT_EQ(redrawn.pixelColor(widget.cell_rect(3, 0).center()), QColor(20, 20, 20));
  EXPECT_TRUE(near(ink(redrawn, widget.cell_rect(0, 6), QColor(20, 20, 20)), colour(6)));
}

// Counts the paint events a widget receives.
class PaintCounter final : public QObject {
 public:
  explicit PaintCounter(QWidget* widget) { widget->installEventFilter(this); }
  int paints = 0;

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) ++paints;
    return false;
  }
};

TEST_F(QtScreenTest, RepaintsOnlyWhenWhatItShowsChanges) {
  show();
  platform::DisplaySurface& screen = host.screen();
  ScreenWidget& widget = *host.screen_widget();
  screen.set_text(std::string(100, '\n'));
  screen.set_selection(1, 3);  // the user holds a selection on the first page
  widget.refresh();
  QTest::qWait(20);
  PaintCounter counter(&widget);
  const struct {
    const char* what;
    void (*change)(platform::DisplaySurface&);
    bool repainted;
  } cases[] = {
      {"text added below the page",
       [](platform::DisplaySurface& s) {
         s.set_selection(s.text_length(), s.text_length());
         s.replace_selection("more");
         s.set_selection(1, 3);
       },
       false},
      {"a row on the page", [](platform::DisplaySurface& s) { s.set_selection(5, 5); s.replace_selection("x"); s.set_selection(1, 3); }, true},
      {"the selection", [](platform::DisplaySurface& s) { s.set_selection(1, 2); }, true},
      {"the view", [](platform::DisplaySurface& s) { s.line_scroll(1); }, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    counter.paints = 0;
    c.change(screen);
    widget.refresh();
    QTest::qWait(20);
    EXPECT_EQ(counter.paints > 0, c.repainted);
  }
}

TEST_F(QtScreenTest, TheScrollBarAndTheWheelFollowAndMoveTheView) {
  show();
  host.set_text(kScreen, std::string(99, '\n'));  // 100 rows
  QScrollBar& bar = *host.screen_widget()->scroll_bar();
  EXPECT_EQ(bar.minimum(), 0);
  EXPECT_EQ(bar.maximum(), 99);
  EXPECT_EQ(bar.pageStep(), 25);
  bar.triggerAction(QAbstractSlider::SliderPageStepAdd);
  EXPECT_EQ(host.screen().first_visible_line(), 25);

  on_message = [](DialogHost& dialog, const DialogMessage&) {
    dialog.screen().line_scroll(10);
    return 1;
  };
  host.dispatch_command(kClear);
  EXPECT_EQ(bar.value(), 35);

  // One notch scrolls three rows; half notches add up.
  const QPointF centre = host.screen_widget()->rect().center();
  for (const int delta : {-120, -60, -60, 120}) {
    QWheelEvent wheel(centre, host.screen_widget()->mapToGlobal(centre), QPoint(), QPoint(0, delta), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(host.screen_widget(), &wheel);
  }
  EXPECT_EQ(host.screen().first_visible_line(), 38);
  EXPECT_EQ(bar.value(), 38);
}

TEST_F(QtScreenTest, TheMousePlacesTheCaretAndSelects) {
  show();
  host.set_text(kScreen, "first line\nsecond line\nthird");
  ScreenWidget& widget = *host.screen_widget();
  // Just inside the left edge of a cell: the boundary before that column.
  auto point = [&](int row, int column) { return widget.cell_rect(row, column).topLeft() + QPoint(1, 2); };
  auto selection = [&] { return std::make_pair(host.screen().selection().cpMin, host.screen().selection().cpMax); };

  QTest::mouseClick(&widget, Qt::LeftButton, Qt::NoModifier, point(1, 7));
  EXPECT_EQ(selection(), std::make_pair(18, 18));
  QTest::mouseClick(&widget, Qt::LeftButton, Qt::ShiftModifier, point(2, 2));
  EXPECT_EQ(selection(), std::make_pair(18, 25));
  QTest::mousePress(&widget, Qt::LeftButton, Qt::NoModifier, point(0, 0));
  QTest::mouseMove(&widget, point(0, 5));
  QTest::mouseRelease(&widget, Qt::LeftButton, Qt::NoModifier, point(0, 5));
  EXPECT_EQ(selection(), std::make_pair(0, 5));
  QTest::mouseDClick(&widget, Qt::LeftButton, Qt::NoModifier, point(1, 2));
  EXPECT_EQ(selection(), std::make_pair(11, 17));  // "second"
  EXPECT_EQ(host.focus(), kScreen);
}

}  // namespace
}  // namespace qttest
