#include "platform/qt/qt_dialog_host.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileDialog>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QScrollBar>
#include <QSocketNotifier>
#include <QTextDocument>
#include <QTimer>

#include <algorithm>
#include <climits>

#include "platform/qt/name_icon_provider.h"
#include "platform/qt/screen_widget.h"
#include "platform/qt/status_line.h"
#include "platform/qt/terminal_widget.h"
#include "platform/shutdown_signals.h"

namespace platform {
namespace {

// A period below this would keep the event loop busy; it is what the shortest timer gets.
constexpr unsigned kShortestPeriodMs = 10;

// A text the program puts in a selector shows its start (a port's COM number), as the dialog manager
// shows it; Qt's edit field would show the end of a text longer than the field.
void show_start(QComboBox* selector) {
  if (QLineEdit* edit = selector->lineEdit()) edit->setCursorPosition(0);
}

// A narrow selector still shows whole entries in its drop-down list (a COM number with its device).
void fit_list_width(QComboBox* selector) {
  const QFontMetrics metrics(selector->view()->font());
  int widest = 0;
  for (int i = 0; i < selector->count(); ++i)
    widest = std::max(widest, metrics.horizontalAdvance(selector->itemText(i)));
  const int margins = 2 * metrics.averageCharWidth() + selector->view()->verticalScrollBar()->sizeHint().width();
  selector->view()->setMinimumWidth(widest + margins);
}

// Shows `box` modally, known as open while it is, so that a shutdown signal can dismiss it.
int run_box(QDialog& box, std::vector<QDialog*>& open_boxes) {
  open_boxes.push_back(&box);
  const int result = box.exec();
  open_boxes.pop_back();
  return result;
}

}  // namespace

QtDialogHost::QtDialogHost(const DialogTemplate& dialog, DialogProc procedure, int scrollback_rows)
    : dialog_(dialog),
      surface_(scrollback_rows),
      dispatcher_(*this, procedure,
                  {// Whatever a message did to the display (a tick adds the bytes received) is shown
                   // now, also behind a box that stays open.
                   [this] { refresh_display(); },
                   [this] { finish(); }}) {
  // Typed keys cannot arrive while a handler runs, because a box shown by a handler is modal.
  surface_.set_key_listener([this](MsgFilter& filter) {
    dispatcher_.send({MessageKind::Notify, display_id(), Notification::MsgFilter, &filter});
  });
  terminal_.set_input_listener([this](const TerminalInput& input) {
    dispatcher_.send({MessageKind::Notify, display_id(), Notification::TerminalInput, nullptr, &input});
  });
  terminal_.set_shown_listener([this](bool shown) { show_terminal(shown); });
}

QtDialogHost::~QtDialogHost() {
  // Taking the window down moves the focus out of it; nothing of that may reach the procedure.
  dispatcher_.end();
  signal_watch_.reset();
  signals_.reset();
  timers_.clear();
  window_.reset();
  surface_.set_key_listener(nullptr);
  terminal_.set_input_listener(nullptr);
  terminal_.set_shown_listener(nullptr);
}

int QtDialogHost::display_id() const {
  for (const ControlTemplate& layout : dialog_.controls)
    if (layout.kind == ControlKind::Display) return layout.id;
  return 0;
}

// ---- Building the window ----

void QtDialogHost::create() {
  if (created_) return;
  created_ = true;
  installation_.emplace(*this);
  build();
  dispatcher_.send({MessageKind::InitDialog});
  if (ended()) return;  // ended during its initialisation: never shown
  window_->setWindowModality(Qt::ApplicationModal);
  window_->show();
  refresh_display();
}

int QtDialogHost::exec() {
  create();
  if (!ended()) {
    QEventLoop loop;
    loop_ = &loop;
    loop.exec(QEventLoop::DialogExec);
    loop_ = nullptr;
  }
  // Quitting the application ends every event loop; the dialog then ends as if closed with 0.
  if (!ended()) end_dialog(0);
  return result_;
}

void QtDialogHost::exit_on_signals() {
  if (signals_ != nullptr) return;
  signals_ = std::make_unique<ShutdownSignals>();
  if (signals_->fd() < 0) return;
  signal_watch_ = std::make_unique<QSocketNotifier>(signals_->fd(), QSocketNotifier::Read);
  QObject::connect(signal_watch_.get(), &QSocketNotifier::activated, signal_watch_.get(),
                   [this] { signalled(); });
}

void QtDialogHost::signalled() {
  if (signals_->take() == 0) return;
  exiting_ = true;
  // A box or prompt that waits for its user would hold the shutdown until the process is killed.
  for (QDialog* box : open_boxes_) box->reject();
  post({MessageKind::Command, IDCANCEL, Notification::Clicked});
}

void QtDialogHost::build() {
  DialogWidgets built = build_dialog_widgets(dialog_, surface_, terminal_,
                                             {[this](const DialogMessage& message) { post(message); },
                                              [this](int id) { clicked(id); }});
  window_ = std::move(built.window);
  controls_ = std::move(built.controls);
  screen_widget_ = built.screen;
  terminal_widget_ = built.terminal;
  base_units_ = built.base_units;
  show_terminal(terminal_.shown());
}

void QtDialogHost::refresh_display() {
  if (screen_widget_ != nullptr) screen_widget_->refresh();
  if (terminal_widget_ != nullptr && terminal_widget_->isVisible()) terminal_widget_->refresh();
}

void QtDialogHost::show_terminal(bool shown) {
  if (screen_widget_ == nullptr || terminal_widget_ == nullptr) return;
  QWidget* now = shown ? static_cast<QWidget*>(terminal_widget_) : screen_widget_;
  QWidget* before = shown ? static_cast<QWidget*>(screen_widget_) : terminal_widget_;
  if (now->isVisibleTo(window_.get()) && !before->isVisibleTo(window_.get())) return;
  const bool had_focus = before->hasFocus();
  now->show();
  if (had_focus) now->setFocus(Qt::OtherFocusReason);
  before->hide();
  refresh_display();
}

QWidget* QtDialogHost::shown_widget(int id) const {
  QWidget* target = widget(id);
  if (target != nullptr && target == screen_widget_ && terminal_.shown()) return terminal_widget_;
  return target;
}

// ---- Control lookup ----

const ControlTemplate* QtDialogHost::layout_of(int id) const {
  const auto found = controls_.find(id);
  return found == controls_.end() ? nullptr : found->second.layout;
}

QDialog* QtDialogHost::window() const { return window_.get(); }

QWidget* QtDialogHost::widget(int id) const {
  const auto found = controls_.find(id);
  return found == controls_.end() ? nullptr : found->second.widget;
}

// An id the dialog does not have, or a control of another kind, makes the call do nothing.
template <class W>
W* QtDialogHost::control_as(int id) const {
  return qobject_cast<W*>(widget(id));
}

// ---- Selectors ----

int QtDialogHost::add_entry(int id, std::string_view text) {
  auto* selector = control_as<QComboBox>(id);
  if (selector == nullptr) return -1;
  const bool none_selected = selector->currentIndex() < 0;
  const QString edit_text = selector->currentText();
  selector->addItem(from_utf8(text));
  // Qt selects the first entry put into an empty list; here a list starts with none selected and
  // its edit field keeps what it shows.
  if (none_selected && selector->currentIndex() >= 0) {
    selector->setCurrentIndex(-1);
    selector->setEditText(edit_text);
    show_start(selector);
  }
  fit_list_width(selector);
  return selector->count() - 1;
}

void QtDialogHost::remove_entry(int id, int index) {
  auto* selector = control_as<QComboBox>(id);
  if (selector == nullptr || index < 0 || index >= selector->count()) return;
  if (index != selector->currentIndex()) {
    selector->removeItem(index);
    return;
  }
  // Qt would select a neighbour of a removed selected entry; here the selection is simply gone.
  const QString edit_text = selector->currentText();
  selector->removeItem(index);
  selector->setCurrentIndex(-1);
  selector->setEditText(edit_text);
  show_start(selector);
}

void QtDialogHost::clear_entries(int id) {
  auto* selector = control_as<QComboBox>(id);
  if (selector == nullptr) return;
  selector->clear();
  selector->clearEditText();
}

int QtDialogHost::entry_count(int id) const {
  const auto* selector = control_as<QComboBox>(id);
  return selector == nullptr ? 0 : selector->count();
}

std::string QtDialogHost::entry_text(int id, int index) const {
  const auto* selector = control_as<QComboBox>(id);
  if (selector == nullptr || index < 0 || index >= selector->count()) return {};
  return to_utf8(selector->itemText(index));
}

int QtDialogHost::selected_entry(int id) const {
  const auto* selector = control_as<QComboBox>(id);
  return selector == nullptr ? -1 : selector->currentIndex();
}

void QtDialogHost::select_entry(int id, int index) {
  auto* selector = control_as<QComboBox>(id);
  if (selector == nullptr) return;
  if (index < 0 || index >= selector->count()) {
    selector->setCurrentIndex(-1);
    return;
  }
  selector->setCurrentIndex(index);
  selector->setEditText(selector->itemText(index));
  show_start(selector);
}

void QtDialogHost::set_entry_text(int id, int index, std::string_view text) {
  auto* selector = control_as<QComboBox>(id);
  if (selector == nullptr || index < 0 || index >= selector->count()) return;
  selector->setItemText(index, from_utf8(text));
  fit_list_width(selector);
  if (index != selector->currentIndex()) return;
  selector->setEditText(selector->itemText(index));
  show_start(selector);
}

// ---- Texts, states, focus ----

void QtDialogHost::set_text(int id, std::string_view text) {
  QWidget* target = widget(id);
  if (target == nullptr) return;
  if (target == screen_widget_) {
    surface_.set_text(text);
    screen_widget_->refresh();
  } else if (auto* selector = qobject_cast<QComboBox*>(target)) {
    selector->setEditText(from_utf8(text));
    show_start(selector);
  } else if (auto* button = qobject_cast<QAbstractButton*>(target)) {
    button->setText(from_utf8(text));
  } else if (auto* line = dynamic_cast<StatusLine*>(target)) {
    line->set_full_text(from_utf8(text));
  } else if (auto* label = qobject_cast<QLabel*>(target)) {
    label->setText(from_utf8(text));
  } else if (auto* group = qobject_cast<QGroupBox*>(target)) {
    group->setTitle(from_utf8(text));
  }
}

std::string QtDialogHost::text(int id) const {
  const QWidget* target = widget(id);
  if (target == nullptr) return {};
  if (target == screen_widget_) return surface_.text(0, surface_.text_length());
  if (const auto* selector = qobject_cast<const QComboBox*>(target)) return to_utf8(selector->currentText());
  if (const auto* button = qobject_cast<const QAbstractButton*>(target)) return to_utf8(button->text());
  if (const auto* line = dynamic_cast<const StatusLine*>(target)) return to_utf8(line->full_text());
  if (const auto* label = qobject_cast<const QLabel*>(target)) return to_utf8(label->text());
  if (const auto* group = qobject_cast<const QGroupBox*>(target)) return to_utf8(group->title());
  return {};
}

void QtDialogHost::set_check(int id, Check state) {
  if (auto* box = control_as<QCheckBox>(id)) {
    box->setCheckState(state == Check::Checked         ? Qt::Checked
                       : state == Check::Indeterminate ? Qt::PartiallyChecked
                                                       : Qt::Unchecked);
  } else if (auto* button = control_as<QAbstractButton>(id)) {
    button->setChecked(state == Check::Checked);
  }
}

Check QtDialogHost::check(int id) const {
  if (const auto* box = control_as<QCheckBox>(id)) {
    switch (box->checkState()) {
      case Qt::Checked: return Check::Checked;
      case Qt::PartiallyChecked: return Check::Indeterminate;
      case Qt::Unchecked: return Check::Unchecked;
    }
  }
  if (const auto* button = control_as<QAbstractButton>(id))
    return button->isChecked() ? Check::Checked : Check::Unchecked;
  return Check::Unchecked;
}

void QtDialogHost::set_enabled(int id, bool enabled) {
  if (QWidget* target = widget(id)) target->setEnabled(enabled);
}

void QtDialogHost::set_tooltip(int id, std::string_view text) {
  QWidget* target = widget(id);
  if (target == nullptr) return;
  // Qt shows a tooltip that looks like markup as markup; a hint is always plain text.
  const QString hint = from_utf8(text);
  target->setToolTip(Qt::mightBeRichText(hint) ? Qt::convertFromPlainText(hint, Qt::WhiteSpaceNormal)
                                               : hint);
}

void QtDialogHost::set_focus(int id) {
  if (QWidget* target = shown_widget(id)) target->setFocus(Qt::OtherFocusReason);
}

int QtDialogHost::focus() const {
  if (window_ == nullptr) return 0;
  // The window's focus widget, which it keeps while another window is active (a box, say).
  for (const QWidget* w = window_->focusWidget(); w != nullptr && w != window_.get(); w = w->parentWidget()) {
    if (w == terminal_widget_) return display_id();
    for (const auto& [id, control] : controls_)
      if (control.widget == w) return id;
  }
  return 0;
}

// ---- Timers ----

unsigned QtDialogHost::start_timer(int id, unsigned period_ms) {
  if (id <= 0 || ended()) return 0;
  std::unique_ptr<QTimer>& timer = timers_[id];
  if (timer == nullptr) {
    timer = std::make_unique<QTimer>();
    QObject::connect(timer.get(), &QTimer::timeout, timer.get(), [this, id] { dispatcher_.tick(id); });
  }
  const unsigned period = std::clamp(period_ms, kShortestPeriodMs, static_cast<unsigned>(INT_MAX));
  timer->start(static_cast<int>(period));
  return static_cast<unsigned>(id);
}

bool QtDialogHost::stop_timer(int id) {
  const auto found = timers_.find(id);
  if (found == timers_.end() || !found->second->isActive()) return false;
  found->second->stop();
  return true;
}

int QtDialogHost::timer_interval(int id) const {
  const auto found = timers_.find(id);
  return found == timers_.end() || !found->second->isActive() ? 0 : found->second->interval();
}

// ---- Place on the desktop ----

std::optional<WindowPlacement> QtDialogHost::placement() const {
  if (window_ == nullptr) return std::nullopt;
  const QRect normal = window_->normal_placement();
  return WindowPlacement{WindowPoint{normal.x(), normal.y()}, normal.width(), normal.height(), window_->isMaximized()};
}

void QtDialogHost::place(const WindowPlacement& placement) {
  if (window_ == nullptr) return;
  window_->resize(placement.width, placement.height);  // Qt keeps it no smaller than its minimum
  // A place on no screen (one unplugged since) is left to the window manager: the window would be
  // out of reach there. Under Wayland a window is never told its place (it reads 0,0) and a move
  // is ignored: the compositor places it.
  constexpr int kTitleReach = 20;
  if (placement.position &&
      QGuiApplication::screenAt(QPoint(placement.position->x + kTitleReach, placement.position->y + kTitleReach)))
    window_->move(placement.position->x, placement.position->y);
  window_->set_normal_placement(QRect(window_->pos(), window_->size()));
  if (placement.maximized) window_->setWindowState(window_->windowState() | Qt::WindowMaximized);
}

// ---- Dispatch ----

void QtDialogHost::clicked(int id) {
  const ControlTemplate* layout = layout_of(id);
  if (layout != nullptr && layout->kind == ControlKind::PushRadio && layout->group != 0) {
    for (const auto& [other_id, other] : controls_)
      if (other_id != id && other.layout->kind == ControlKind::PushRadio &&
          other.layout->group == layout->group)
        static_cast<QAbstractButton*>(other.widget)->setChecked(false);
  }
  post({MessageKind::Command, id, Notification::Clicked});
}

void QtDialogHost::dispatch_command(int id, Notification code) {
  post({MessageKind::Command, id, code});
}

void QtDialogHost::end_dialog(int result) {
  if (ended()) return;
  result_ = result;
  dispatcher_.end();
}

void QtDialogHost::finish() {
  for (auto& [id, timer] : timers_) timer->stop();
  if (window_ != nullptr) window_->hide();
  if (loop_ != nullptr) loop_->exit(0);
}

// ---- Desktop ----

template <class Show>
auto QtDialogHost::modal(Show show) {
  refresh_display();  // the trace as it stands, behind the box
  const Dispatcher::Modal waiting(dispatcher_);
  return show();
}

void QtDialogHost::message_box(std::string_view text, std::string_view caption) {
  // While the program ends on a signal nobody is there to dismiss a box: it goes to stderr.
  if (exiting_) {
    console_desktop().message_box(text, caption);
    return;
  }
  modal([&] {
    if (message_box_handler_) {
      message_box_handler_(text, caption);
      return;
    }
    QMessageBox box(QMessageBox::NoIcon, from_utf8(caption), from_utf8(text), QMessageBox::Ok);
    box.setTextFormat(Qt::PlainText);
    run_box(box, open_boxes_);
  });
}

std::optional<std::string> QtDialogHost::open_file_prompt(const FilePrompt& prompt) {
  if (exiting_) return std::nullopt;
  return modal([&] { return ask_for_file(prompt); });
}

std::optional<std::string> QtDialogHost::ask_for_file(const FilePrompt& prompt) {
  if (file_prompt_handler_) return file_prompt_handler_(prompt);
  NameIconProvider never_reads;  // a listed file is never opened (see its header)
  QFileDialog chooser(nullptr, from_utf8(prompt.title), QDir::currentPath(), QStringLiteral("All Files (*)"));
  chooser.setIconProvider(&never_reads);
  // A save prompt asks before replacing an existing file, and "No" leaves the user in the prompt.
  chooser.setAcceptMode(prompt.confirm_replace ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  chooser.setFileMode(QFileDialog::AnyFile);
  // The desktop's own (GTK) open dialog refuses the name of a file that does not exist yet, and a
  // file to receive is named before it exists.
  chooser.setOption(QFileDialog::DontUseNativeDialog);
  chooser.setDefaultSuffix(from_utf8(prompt.default_extension));
  if (run_box(chooser, open_boxes_) != QDialog::Accepted) return std::nullopt;
  const QStringList chosen = chooser.selectedFiles();
  if (chosen.isEmpty() || chosen.first().isEmpty()) return std::nullopt;
  const QByteArray path = QFile::encodeName(chosen.first());
  return std::string(path.constData(), static_cast<std::size_t>(path.size()));
}

}  // namespace platform
