// The window built from the program's dialog template: every control, its kind, caption and place.
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

#include <string>

#include "platform/qt/screen_widget.h"
#include "core/dialog_template.h"
#include "tests/qt/qt_fixture.h"

namespace qttest {
namespace {

using platform::ControlKind;
using platform::ControlTemplate;
using QtLayoutTest = DialogTest;

// Dialog units as the dialog manager converts them: a quarter of the average width of the Latin
// letters and an eighth of the font's height.
QRect expected_box(const QDialog& window, const platform::DialogUnits& box) {
  const QFontMetrics metrics(window.font());
  const int x = (metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")) + 26) / 52;
  const int y = metrics.height();
  auto scale = [](int units, int base, int divisor) { return (units * base + divisor / 2) / divisor; };
  return {scale(box.x, x, 4), scale(box.y, y, 8), scale(box.width, x, 4), scale(box.height, y, 8)};
}

// The label or group box with this caption, the one at `box` when the caption is used twice.
QWidget* find_captioned(QDialog& window, std::string_view caption, const QRect& box) {
  QWidget* found = nullptr;
  for (QWidget* candidate : window.findChildren<QWidget*>()) {
    const auto* label = qobject_cast<QLabel*>(candidate);
    const auto* group = qobject_cast<QGroupBox*>(candidate);
    const QString text = label != nullptr ? label->text() : group != nullptr ? group->title() : QString();
    if (text.toStdString() == caption && (found == nullptr || candidate->geometry() == box)) found = candidate;
  }
  return found;
}

TEST_F(QtLayoutTest, EveryControlOfTheTemplateIsBuiltAtItsPlace) {
  show();
  QDialog& window = *host.window();
  EXPECT_EQ(window.windowTitle().toStdString(), quillport_dialog().caption);
  EXPECT_EQ(window.size(), expected_box(window, quillport_dialog().size).size());
  EXPECT_EQ(window.minimumSize(), window.maximumSize());
  EXPECT_TRUE(window.windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
  EXPECT_FALSE(window.windowFlags().testFlag(Qt::WindowMaximizeButtonHint));

  for (const ControlTemplate& layout : quillport_dialog().controls) {
    SCOPED_TRACE(std::string(layout.caption) + " id " + std::to_string(layout.id));
    QRect box = expected_box(window, layout.box);
    QWidget* made = layout.id >= 0 ? host.widget(layout.id) : find_captioned(window, layout.caption, box);
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
        box.setHeight(selector->sizeHint().height());  // the template's height is the dropped list's
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
        const int wrap = label->wordWrap() ? Qt::TextWordWrap : 0;
        const QRect text = label->fontMetrics().boundingRect(QRect(0, 0, box.width(), 1000), wrap, label->text());
        EXPECT_LE(text.width(), box.width()) << "clipped";
        EXPECT_LE(text.height(), box.height() + 1) << "clipped";
        break;
      }
    }
    EXPECT_EQ(made->geometry(), box);
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

}  // namespace
}  // namespace qttest
