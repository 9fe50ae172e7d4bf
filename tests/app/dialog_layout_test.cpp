// The program's window as the Qt host lays it out under a pinned font: a few boxes where they must
// be, every control of the template of its kind, no caption clipped, no two controls overlapping.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

#include <QTest>

#include <map>
#include <string>

#include "core/dialog_template.h"
#include "core/resource.h"
#include "platform/qt/screen_widget.h"
#include "tests/qt/qt_fixture.h"

namespace qttest {
namespace {

using platform::ControlKind;
using platform::ControlTemplate;

// DejaVu Sans (fonts-dejavu-core) at the template's 8 points on the offscreen platform's 96 dpi:
// 4 by 8 dialog units are 7 by 13 pixels.
class QtLayoutTest : public DialogTest {
 protected:
  QtLayoutTest() : DialogTest(quillport_dialog()), font_before_(QApplication::font()) {
    QApplication::setFont(QFont(QStringLiteral("DejaVu Sans")));
  }
  ~QtLayoutTest() override { QApplication::setFont(font_before_); }

 private:
  QFont font_before_;
};

// "x,y wxh", readable when a box is not where it should be.
std::string box_of(const QWidget* widget) {
  const QRect r = widget->geometry();
  return std::to_string(r.x()) + "," + std::to_string(r.y()) + " " + std::to_string(r.width()) + "x" +
         std::to_string(r.height());
}

// The label or group box with this caption (the first made, when the caption is used twice).
QWidget* find_captioned(QDialog& window, std::string_view caption) {
  for (QWidget* candidate : window.findChildren<QWidget*>()) {
    const auto* label = qobject_cast<QLabel*>(candidate);
    const auto* group = qobject_cast<QGroupBox*>(candidate);
    const QString text = label != nullptr ? label->text() : group != nullptr ? group->title() : QString();
    if (text.toStdString() == caption) return candidate;
  }
  return nullptr;
}

TEST_F(QtLayoutTest, AFewBoxesUnderThePinnedFont) {
  show();
  ASSERT_EQ(QFontInfo(host.window()->font()).family(), QStringLiteral("DejaVu Sans"))
      << "the layout is pinned to DejaVu Sans: install fonts-dejavu-core";
  EXPECT_EQ(host.window()->size(), QSize(992, 592));
  EXPECT_EQ(box_of(host.widget(IDT_SCREEN)), "11,18 623x431");
  EXPECT_EQ(box_of(host.widget(IDC_PORTA)), "684,39 117x22");  // a selector keeps its field's height
  EXPECT_EQ(box_of(host.widget(IDB_SEND)), "564,486 68x18");
  EXPECT_EQ(box_of(host.widget(IDT_PROGRESS)), "641,562 341x20");
  EXPECT_EQ(box_of(find_captioned(*host.window(), "Port B Settings")), "816,11 166x205");
}

TEST_F(QtLayoutTest, EveryControlIsOfItsKindAndNoCaptionIsClipped) {
  show();
  QDialog& window = *host.window();
  EXPECT_EQ(window.windowTitle().toStdString(), quillport_dialog().caption);
  EXPECT_EQ(window.minimumSize(), window.size());
  EXPECT_TRUE(window.windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
  EXPECT_TRUE(window.windowFlags().testFlag(Qt::WindowMaximizeButtonHint));

  for (const ControlTemplate& layout : quillport_dialog().controls) {
    SCOPED_TRACE(std::string(layout.caption) + " id " + std::to_string(layout.id));
    QWidget* made = layout.id >= 0 ? host.widget(layout.id) : find_captioned(window, layout.caption);
    ASSERT_NE(made, nullptr);
    const auto* push = qobject_cast<QPushButton*>(made);
    const auto* label = qobject_cast<QLabel*>(made);
    switch (layout.kind) {
      case ControlKind::Display:
        EXPECT_EQ(made, host.screen_widget());
        break;
      case ControlKind::Selector: {
        const auto* selector = qobject_cast<QComboBox*>(made);
        ASSERT_NE(selector, nullptr);
        EXPECT_TRUE(selector->isEditable());
        EXPECT_EQ(selector->insertPolicy(), QComboBox::NoInsert);
        break;
      }
      case ControlKind::ThreeState:
        ASSERT_NE(qobject_cast<QCheckBox*>(made), nullptr);
        EXPECT_TRUE(qobject_cast<QCheckBox*>(made)->isTristate());
        break;
      case ControlKind::PushCheck:
      case ControlKind::PushRadio:
      case ControlKind::PushButton:
        ASSERT_NE(push, nullptr);
        EXPECT_EQ(push->text().toStdString(), layout.caption);
        EXPECT_EQ(push->isCheckable(), layout.kind != ControlKind::PushButton);
        EXPECT_FALSE(push->autoDefault() || push->isDefault());
        EXPECT_LT(push->fontMetrics().horizontalAdvance(push->text()), push->width() - 4) << "caption clipped";
        break;
      case ControlKind::GroupBox:
        break;
      case ControlKind::Label:
      case ControlKind::LabelLeft:
      case ControlKind::StatusLine:
      case ControlKind::ProgressLine: {
        ASSERT_NE(label, nullptr);
        const bool right = layout.kind == ControlKind::Label || layout.kind == ControlKind::ProgressLine;
        EXPECT_EQ(label->alignment().testFlag(Qt::AlignRight), right);
        const bool status = layout.kind == ControlKind::StatusLine || layout.kind == ControlKind::ProgressLine;
        EXPECT_EQ(label->frameShadow() == QFrame::Sunken, status);
        // Wrapped where the label wraps, the caption fits its box.
        const QRect box = label->geometry();
        const int wrap = label->wordWrap() ? Qt::TextWordWrap : 0;
        const QRect text = label->fontMetrics().boundingRect(QRect(0, 0, box.width(), 1000), wrap, label->text());
        EXPECT_LE(text.width(), box.width()) << "clipped";
        EXPECT_LE(text.height(), box.height() + 1) << "clipped";
        break;
      }
    }
  }
}

TEST_F(QtLayoutTest, AddressedControlsStayInsideTheWindowAndApart) {
  show();
  const auto& controls = quillport_dialog().controls;
  for (const ControlTemplate& a : controls) {
    if (a.id < 0) continue;
    const QRect box = host.widget(a.id)->geometry();
    EXPECT_TRUE(host.window()->rect().contains(box)) << a.id;
    for (const ControlTemplate& b : controls) {
      if (b.id > a.id) {
        EXPECT_FALSE(box.intersects(host.widget(b.id)->geometry())) << a.id << " and " << b.id;
      }
    }
  }
}

// Lets the event loop run until `condition` holds or five seconds pass.
template <class Condition>
bool settle(Condition condition) {
  for (int waited = 0; waited < 5000 && !condition(); waited += 10) QTest::qWait(10);
  return condition();
}

TEST_F(QtLayoutTest, ALargerWindowGivesTheTraceMoreRowsAndKeepsEveryControlWhole) {
  show();
  QDialog& window = *host.window();
  platform::ScreenWidget& trace = *host.screen_widget();
  const QSize smallest = window.size();
  const QSize cell = trace.cell_size();
  std::map<int, QRect> before;
  for (const ControlTemplate& layout : quillport_dialog().controls)
    if (layout.id >= 0) before[layout.id] = host.widget(layout.id)->geometry();
  platform::DisplaySurface& surface = host.screen();
  std::string rows;
  for (int row = 0; row < 200; ++row) rows += "row " + std::to_string(row) + "\n";
  surface.set_text(rows);
  surface.line_scroll(200 - platform::kDisplayPageRows - surface.first_visible_line());  // the newest row at the bottom
  trace.refresh();

  const QSize added(300, 10 * cell.height() + 3);
  window.resize(smallest + added);
  ASSERT_TRUE(settle([&] { return window.size() == smallest + added; }));
  EXPECT_EQ(trace.cell_size(), cell);  // the same letters, not larger ones
  EXPECT_EQ(trace.painted_rows(), platform::ScreenWidget::kPaintedRows + 10);
  EXPECT_EQ(trace.top_row(), surface.first_visible_line() - 10);  // ten more rows of the trace above the page
  EXPECT_EQ(trace.geometry().size(), before[IDT_SCREEN].size() + added);
  EXPECT_TRUE(trace.rect().contains(trace.cell_rect(trace.painted_rows() - 1, platform::kDisplayColumns - 1)));
  // The "r" of the first painted row is drawn.
  const QImage image = trace.grab().toImage();
  const QRect first_cell = trace.cell_rect(0, 0);
  int inked = 0;
  for (int y = first_cell.top(); y <= first_cell.bottom(); ++y)
    for (int x = first_cell.left(); x <= first_cell.right(); ++x)
      inked += image.pixelColor(x, y) != trace.palette().color(QPalette::Base) ? 1 : 0;
  EXPECT_GT(inked, 0);

  for (const ControlTemplate& a : quillport_dialog().controls) {
    if (a.id < 0 || a.id == IDT_SCREEN) continue;
    SCOPED_TRACE("control " + std::to_string(a.id));
    const QRect box = host.widget(a.id)->geometry();
    EXPECT_EQ(box.size(), before[a.id].size());  // as whole as at the smallest size
    EXPECT_TRUE(window.rect().contains(box));
    EXPECT_TRUE(host.widget(a.id)->isVisible());
    for (const ControlTemplate& b : quillport_dialog().controls) {
      if (b.id <= a.id) continue;
      EXPECT_FALSE(box.intersects(host.widget(b.id)->geometry())) << "and " << b.id;
    }
  }
  // Beside the trace they follow the right edge, below it the bottom edge: the order holds.
  EXPECT_EQ(host.widget(IDC_PORTA)->geometry(), before[IDC_PORTA].translated(added.width(), 0));
  EXPECT_EQ(host.widget(IDC_MSG)->geometry(), before[IDC_MSG].translated(0, added.height()));
  EXPECT_EQ(host.widget(IDCANCEL)->geometry(), before[IDCANCEL].translated(added.width(), added.height()));

  window.resize(smallest - QSize(100, 100));
  QTest::qWait(20);
  EXPECT_EQ(window.size(), smallest);
  EXPECT_EQ(trace.painted_rows(), platform::ScreenWidget::kPaintedRows);
  for (const auto& [id, box] : before) EXPECT_EQ(host.widget(id)->geometry(), box) << id;
}

}  // namespace
}  // namespace qttest
