#include "platform/qt/dialog_widgets.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFocusEvent>
#include <QFontMetrics>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMoveEvent>
#include <QPushButton>
#include <QResizeEvent>

#include <algorithm>

#include "platform/qt/screen_widget.h"
#include "platform/qt/status_line.h"
#include "platform/qt/terminal_widget.h"

namespace platform {
namespace {

// Rounds like the dialog manager's conversion of dialog units (a * b / c to the nearest).
int scale(int units, int base, int divisor) { return (units * base + divisor / 2) / divisor; }

QRect to_pixels(const DialogUnits& box, QSize base) {
  return QRect(scale(box.x, base.width(), 4), scale(box.y, base.height(), 8),
               scale(box.width, base.width(), 4), scale(box.height, base.height(), 8));
}

// Dialog units are a quarter of the font's average character width and an eighth of its height,
// the average measured over the Latin alphabet.
QSize measure_base_units(const QFont& font) {
  const QFontMetrics metrics(font);
  const int alphabet =
      metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  return QSize(std::max(1, (alphabet + 26) / 52), std::max(1, metrics.height()));
}

// A push-like radio button: a click checks it, never unchecks it.
class RadioButton final : public QPushButton {
 public:
  using QPushButton::QPushButton;

 protected:
  void nextCheckState() override { setChecked(true); }
};

// Qt's three-state box steps unchecked -> indeterminate -> checked; the dialog's indicators step
// unchecked -> checked -> indeterminate, as the program expects of a click.
class TriStateBox final : public QCheckBox {
 public:
  using QCheckBox::QCheckBox;

 protected:
  void nextCheckState() override {
    switch (checkState()) {
      case Qt::Unchecked: setCheckState(Qt::Checked); break;
      case Qt::Checked: setCheckState(Qt::PartiallyChecked); break;
      case Qt::PartiallyChecked: setCheckState(Qt::Unchecked); break;
    }
  }
};

QLabel* make_label(QWidget* parent, std::string_view caption, Qt::Alignment alignment) {
  auto* label = new QLabel(parent);
  // Captions and status texts (file names among them) are shown as they are, never as markup.
  label->setTextFormat(Qt::PlainText);
  label->setAlignment(alignment);
  label->setText(from_utf8(caption));
  return label;
}

// A selector that reports its list opening and closing.
class Selector final : public QComboBox {
 public:
  Selector(const ControlEvents& events, int id, QWidget* parent) : QComboBox(parent), events_(events), id_(id) {}

  void showPopup() override {
    QComboBox::showPopup();
    events_.post({MessageKind::Command, id_, Notification::DropDown});
  }
  void hidePopup() override {
    QComboBox::hidePopup();
    events_.post({MessageKind::Command, id_, Notification::CloseUp});
  }

 private:
  const ControlEvents& events_;
  int id_;
};

// Watches one selector for the focus coming and leaving and for wheel turns it did not ask for.
class SelectorWatch final : public QObject {
 public:
  SelectorWatch(const ControlEvents& events, int id, QComboBox* selector)
      : QObject(selector), events_(events), id_(id) {}

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::FocusIn) {
      // The focus coming back from the selector's own list is no new arrival.
      if (static_cast<QFocusEvent*>(event)->reason() != Qt::PopupFocusReason)
        events_.post({MessageKind::Command, id_, Notification::SetFocus});
    } else if (event->type() == QEvent::FocusOut) {
      // Opening the selector's own list does not leave it (Qt moves the focus out of it more than
      // once as the list opens, and only the first time says why). A selector being destroyed
      // loses the focus too, when it is no longer a QComboBox: qobject_cast then finds none.
      const auto* selector = qobject_cast<QComboBox*>(watched);
      const bool to_own_list = static_cast<QFocusEvent*>(event)->reason() == Qt::PopupFocusReason ||
                               (selector != nullptr && selector->view()->isVisible());
      if (!to_own_list) events_.post({MessageKind::Command, id_, Notification::KillFocus});
    } else if (event->type() == QEvent::Wheel) {
      // A wheel turned while the pointer crosses a selector must not change a port's setting;
      // only a selector that has the focus takes it.
      if (!static_cast<QWidget*>(watched)->hasFocus()) return true;
    }
    return false;
  }

 private:
  const ControlEvents& events_;
  int id_;
};

// Builds the controls of one dialog; the events live as long as the window (in the window itself).
class Builder {
 public:
  Builder(DialogWidgets& built, DisplaySurface& surface, const ControlEvents& events)
      : built_(built), surface_(surface), events_(events) {}

  QWidget* make_control(const ControlTemplate& layout);

 private:
  DialogWidgets& built_;
  DisplaySurface& surface_;
  const ControlEvents& events_;
};

QWidget* Builder::make_control(const ControlTemplate& layout) {
  QWidget* parent = built_.window.get();
  const QRect box = to_pixels(layout.box, built_.base_units);
  const int id = layout.id;
  QWidget* made = nullptr;
  QAbstractButton* button = nullptr;
  switch (layout.kind) {
    case ControlKind::Display:
      built_.screen = new ScreenWidget(surface_, parent);
      made = built_.screen;
      break;
    case ControlKind::Selector: {
      auto* selector = new Selector(events_, id, parent);
      selector->setEditable(true);
      // Entries come only from the program: Enter never adds one, and typing never completes one.
      selector->setInsertPolicy(QComboBox::NoInsert);
      selector->setCompleter(nullptr);
      selector->setFocusPolicy(Qt::StrongFocus);
      selector->installEventFilter(new SelectorWatch(events_, id, selector));
      const ControlEvents& events = events_;
      QObject::connect(selector, &QComboBox::activated, selector, [&events, id](int) {
        events.post({MessageKind::Command, id, Notification::SelChange});
      });
      // Only the user's typing: the program's own changes of the field report nothing.
      QObject::connect(selector->lineEdit(), &QLineEdit::textEdited, selector, [&events, id](const QString&) {
        events.post({MessageKind::Command, id, Notification::EditChange});
      });
      // Queued, so that it follows Qt's own handling of the key, which chooses an entry the text
      // names exactly (and reports that first as the selection change).
      QObject::connect(
          selector->lineEdit(), &QLineEdit::returnPressed, selector,
          [&events, id] { events.post({MessageKind::Command, id, Notification::Enter}); }, Qt::QueuedConnection);
      // The template's height is the extent of the dropped list; the field keeps its own height.
      selector->setGeometry(box.x(), box.y(), box.width(), selector->sizeHint().height());
      return selector;
    }
    case ControlKind::ThreeState: {
      auto* indicator = new TriStateBox(from_utf8(layout.caption), parent);
      indicator->setTristate(true);
      button = indicator;
      break;
    }
    case ControlKind::PushCheck:
    case ControlKind::PushRadio:
    case ControlKind::PushButton: {
      QPushButton* push = layout.kind == ControlKind::PushRadio
                              ? new RadioButton(from_utf8(layout.caption), parent)
                              : new QPushButton(from_utf8(layout.caption), parent);
      push->setCheckable(layout.kind != ControlKind::PushButton);
      // Enter on a focused button must not click it: the dialog has no default button.
      push->setAutoDefault(false);
      push->setDefault(false);
      button = push;
      break;
    }
    case ControlKind::GroupBox:
      made = new QGroupBox(from_utf8(layout.caption), parent);
      break;
    case ControlKind::Label: {
      QLabel* label = make_label(parent, layout.caption, Qt::AlignRight | Qt::AlignVCenter);
      label->setWordWrap(true);  // a caption wider than its box takes two lines
      made = label;
      break;
    }
    case ControlKind::LabelLeft: {
      QLabel* label = make_label(parent, layout.caption, Qt::AlignLeft | Qt::AlignTop);
      label->setWordWrap(true);
      made = label;
      break;
    }
    case ControlKind::StatusLine:
    case ControlKind::ProgressLine: {
      auto* line = new StatusLine(
          (layout.kind == ControlKind::StatusLine ? Qt::AlignLeft : Qt::AlignRight) | Qt::AlignVCenter, parent);
      line->set_full_text(from_utf8(layout.caption));
      made = line;
      break;
    }
  }
  if (button != nullptr) {
    const ControlEvents& events = events_;
    QObject::connect(button, &QAbstractButton::clicked, button, [&events, id] { events.clicked(id); });
    made = button;
  }
  made->setGeometry(box);
  return made;
}

// How the template ties a control to the window's edges.
int follow_of(const DialogGrowth& growth, const ControlTemplate& layout) {
  if (growth.stretching < 0) return DialogWindow::kStays;
  if (layout.id == growth.stretching) return DialogWindow::kStretches;
  return (layout.box.x >= growth.follow_right ? DialogWindow::kRight : 0) |
         (layout.box.y >= growth.follow_bottom ? DialogWindow::kBottom : 0);
}

}  // namespace

QString from_utf8(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::string to_utf8(const QString& text) {
  const QByteArray bytes = text.toUtf8();
  return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

void DialogWindow::reject() { events_.post({MessageKind::Command, IDCANCEL, Notification::Clicked}); }

// The procedure decides what the close box does; the window closes only when the dialog ends.
void DialogWindow::closeEvent(QCloseEvent* event) {
  event->ignore();
  events_.post({MessageKind::Close});
}

void DialogWindow::follow(QWidget* control, const QRect& base, int how) {
  followers_.push_back({control, base, how});
  if (how & kStretches) control->setMinimumSize(base.size());
}

bool DialogWindow::normal() const {
  return (windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen | Qt::WindowMinimized)) == 0;
}

QRect DialogWindow::normal_placement() const { return normal() ? QRect(pos(), size()) : normal_; }

void DialogWindow::remember_placement() {
  if (normal()) normal_ = QRect(pos(), size());
}

void DialogWindow::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  const QSize added = (size() - minimumSize()).expandedTo(QSize(0, 0));
  for (const Follower& follower : followers_) {
    QRect place = follower.base;
    if (follower.how & kStretches) place.setSize(place.size() + added);
    place.translate(follower.how & kRight ? added.width() : 0, follower.how & kBottom ? added.height() : 0);
    follower.control->setGeometry(place);
  }
  remember_placement();
}

void DialogWindow::moveEvent(QMoveEvent* event) {
  QDialog::moveEvent(event);
  remember_placement();
}

void DialogWindow::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Escape:
      reject();
      break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
      // No default action: ending the dialog on Enter in the message field would end a session.
      break;
    default:
      event->ignore();
      break;
  }
}

DialogWidgets build_dialog_widgets(const DialogTemplate& dialog, DisplaySurface& surface, TerminalSurface& terminal,
                                   ControlEvents events) {
  DialogWidgets built;
  built.window = std::make_unique<DialogWindow>(std::move(events));
  DialogWindow& window = *built.window;
  window.setWindowTitle(from_utf8(dialog.caption));
  // An ordinary top-level window rather than a dialog-type one: window managers give dialog-type
  // windows no minimise box, and this dialog is the program's main window.
  const bool grows = dialog.growth.stretching >= 0;
  window.setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                        Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint |
                        (grows ? Qt::WindowMaximizeButtonHint : Qt::WindowType(0)));
  // The template's face is a Windows bitmap font that Linux lacks: the desktop's own sans font
  // stands in, at the template's size.
  QFont font = QApplication::font();
  font.setPointSize(dialog.font_points > 0 ? dialog.font_points : 8);
  window.setFont(font);
  built.base_units = measure_base_units(font);
  const QRect size = to_pixels(dialog.size, built.base_units);
  if (grows) {
    window.setMinimumSize(size.size());
    window.resize(size.size());
  } else {
    window.setFixedSize(size.size());
  }
  window.set_normal_placement(QRect(window.pos(), window.size()));

  Builder builder(built, surface, window.events());
  for (const ControlTemplate& layout : dialog.controls) {
    QWidget* made = builder.make_control(layout);
    if (layout.id >= 0) built.controls[layout.id] = {&layout, made};
    if (layout.kind == ControlKind::GroupBox) made->lower();  // frames stay behind what they hold
    window.follow(made, made->geometry(), follow_of(dialog.growth, layout));
    if (made == built.screen) {
      // The terminal takes the display's place, and grows with it, while it is shown.
      built.terminal = new TerminalWidget(terminal, &window);
      built.terminal->setGeometry(made->geometry());
      built.terminal->hide();
      window.follow(built.terminal, made->geometry(), follow_of(dialog.growth, layout));
    }
  }
  return built;
}

}  // namespace platform
