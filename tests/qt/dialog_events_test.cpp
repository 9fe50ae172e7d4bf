// What reaches the dialog procedure from the live window: clicks, selections, focus, the close box,
// Escape and Enter, timers, and the desktop's message box and file prompt.
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <sys/inotify.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <utility>

#include "platform/qt/screen_widget.h"
#include "tests/qt/qt_fixture.h"

namespace qttest {
namespace {

using platform::Check;
using platform::DialogHost;
using platform::DialogMessage;
using platform::MessageKind;
using platform::Notification;
using Commands = std::vector<std::pair<int, Notification>>;
using QtEventsTest = DialogTest;

// Answers the next window of type W when it comes up, as its user would.
template <class W>
void answer_next(std::function<void(W&)> answer) {
  auto* poll = new QTimer;
  QObject::connect(poll, &QTimer::timeout, poll, [poll, answer, tries = 0]() mutable {
    for (QWidget* top : QApplication::topLevelWidgets()) {
      if (auto* window = qobject_cast<W*>(top); window != nullptr && window->isVisible()) {
        poll->stop();
        poll->deleteLater();
        answer(*window);
        return;
      }
    }
    if (++tries > 1000) poll->deleteLater();  // it never came: the call under test did not wait for it
  });
  poll->start(5);
}

TEST_F(QtEventsTest, ClicksReportAfterTheButtonsNewStateIsSet) {
  show();
  host.check_radio(kRun, kStop, kStop);
  host.check_radio(kPortA, kPortB, kPortA);
  std::pair<Check, Check> at_dispatch;
  int partner = 0;
  on_message = [&](DialogHost& dialog, const DialogMessage& message) {
    at_dispatch = {dialog.check(message.id), dialog.check(partner)};
    return 1;
  };
  struct Step {
    int id;
    int partner;
    Check own;
    Check other;
  };
  const Step steps[] = {
      {kRun, kStop, Check::Checked, Check::Unchecked},
      {kRun, kStop, Check::Checked, Check::Unchecked},  // a checked radio stays checked
      {kPortB, kPortA, Check::Checked, Check::Unchecked},
      {kPortB, kStop, Check::Checked, Check::Unchecked},  // another group keeps its state
      {kEcho, 0, Check::Checked, Check::Unchecked},
      {kEcho, 0, Check::Unchecked, Check::Unchecked},
      {kIndicator, 0, Check::Checked, Check::Unchecked},
      {kIndicator, 0, Check::Indeterminate, Check::Unchecked},
      {kIndicator, 0, Check::Unchecked, Check::Unchecked},
      {kClear, 0, Check::Unchecked, Check::Unchecked},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.id);
    seen.clear();
    partner = step.partner;
    QTest::mouseClick(host.widget(step.id), Qt::LeftButton);
    EXPECT_EQ(commands(), (Commands{{step.id, Notification::Clicked}}));
    EXPECT_EQ(at_dispatch, std::make_pair(step.own, step.other));
  }
  host.set_enabled(kSend, false);
  seen.clear();
  QTest::mouseClick(host.widget(kSend), Qt::LeftButton);
  EXPECT_TRUE(seen.empty());
}

TEST_F(QtEventsTest, ProgramChangesToControlsReportNothing) {
  show();
  for (const char* speed : {"9600", "19200", "38400"}) host.add_entry(kSpeed, speed);
  EXPECT_EQ(host.selected_entry(kSpeed), -1);  // adding selects nothing
  host.select_entry(kSpeed, 1);
  EXPECT_EQ(host.text(kSpeed), "19200");
  EXPECT_EQ(static_cast<QComboBox*>(host.widget(kSpeed))->lineEdit()->cursorPosition(), 0);  // its start shows
  host.set_entry_text(kSpeed, 1, "57600");
  EXPECT_EQ(host.selected_entry(kSpeed), 1);
  EXPECT_EQ(host.text(kSpeed), "57600");
  host.remove_entry(kSpeed, 1);
  EXPECT_EQ(host.selected_entry(kSpeed), -1);
  EXPECT_EQ(host.entry_text(kSpeed, 1), "38400");
  host.set_text(kStatus, "<b>log & more</b>");  // shown as it is, never as markup
  EXPECT_EQ(host.text(kStatus), "<b>log & more</b>");
  host.set_text(kScreen, "trace");
  EXPECT_EQ(host.text(kScreen), "trace");
  EXPECT_TRUE(seen.empty());
  EXPECT_EQ(host.add_entry(999, "x"), -1);  // unknown ids and other kinds of control: nothing happens
  EXPECT_EQ(host.add_entry(kSend, "x"), -1);
}

TEST_F(QtEventsTest, ChoosingAnEntryReportsTheSelectionChange) {
  show();
  for (const char* parity : {"None", "Odd", "Even"}) host.add_entry(kParity, parity);
  host.select_entry(kParity, 0);
  int at_dispatch = -1;
  on_message = [&](DialogHost& dialog, const DialogMessage& message) {
    at_dispatch = dialog.selected_entry(message.id);
    return 1;
  };
  host.widget(kParity)->setFocus();
  QTest::keyClick(host.widget(kParity), Qt::Key_Down);
  EXPECT_EQ(commands(), (Commands{{kParity, Notification::SetFocus}, {kParity, Notification::SelChange}}));
  EXPECT_EQ(at_dispatch, 1);
}

TEST_F(QtEventsTest, EnterInASelectorsFieldIsReportedAndAddsNothingAndEndsNothing) {
  show();
  host.add_entry(kMessage, "01 02");
  QWidget* field = host.widget(kMessage);
  field->setFocus();
  QTest::keyClicks(field, "03 04");
  EXPECT_EQ(commands().back(), std::make_pair(kMessage, Notification::EditChange));  // the user's typing
  seen.clear();
  QTest::keyClick(field, Qt::Key_Return);
  QTest::keyClick(field, Qt::Key_Enter, Qt::KeypadModifier);
  QCoreApplication::processEvents();  // the report follows Qt's own handling of the key
  EXPECT_EQ(host.entry_count(kMessage), 1);
  EXPECT_EQ(host.text(kMessage), "03 04");
  EXPECT_EQ(commands(), (Commands{{kMessage, Notification::Enter}, {kMessage, Notification::Enter}}));
  EXPECT_TRUE(host.window()->isVisible());

  // Text that names an entry exactly is chosen first, as from the list.
  for (const char* rate : {"9600", "19200"}) host.add_entry(kSpeed, rate);
  host.select_entry(kSpeed, 0);
  auto* speed = static_cast<QComboBox*>(host.widget(kSpeed));
  speed->setFocus();
  seen.clear();
  speed->lineEdit()->selectAll();
  QTest::keyClicks(speed, "19200");
  QTest::keyClick(speed, Qt::Key_Return);
  QCoreApplication::processEvents();
  Commands reported = commands();
  std::erase_if(reported, [](const auto& c) { return c.second == Notification::EditChange; });  // the typing
  EXPECT_EQ(reported, (Commands{{kSpeed, Notification::SelChange}, {kSpeed, Notification::Enter}}));
  EXPECT_EQ(host.selected_entry(kSpeed), 1);
}

TEST_F(QtEventsTest, EscapeOutsideTheDisplayIsTheCancelCommand) {
  show();
  for (const int id : {kMessage, kClear, kRun}) {
    host.widget(id)->setFocus();
    seen.clear();
    QTest::keyClick(host.widget(id), Qt::Key_Escape);
    EXPECT_EQ(commands(), (Commands{{IDCANCEL, Notification::Clicked}})) << id;
  }
  host.set_focus(kScreen);
  seen.clear();
  QTest::keyClick(host.screen_widget(), Qt::Key_Escape);
  EXPECT_TRUE(commands().empty());
  EXPECT_TRUE(host.window()->isVisible());
}

TEST_F(QtEventsTest, LeavingASelectorReportsTheFocusLostAfterTheCurrentMessage) {
  show();
  auto* field = static_cast<QComboBox*>(host.widget(kMessage));
  host.add_entry(kMessage, "01 02");
  field->setFocus();
  field->showPopup();  // its own list is not somewhere else
  field->hidePopup();
  EXPECT_EQ(commands(), (Commands{{kMessage, Notification::SetFocus},
                                  {kMessage, Notification::DropDown},
                                  {kMessage, Notification::CloseUp}}));
  seen.clear();
  QTest::keyClick(field, Qt::Key_Tab);
  EXPECT_EQ(commands(), (Commands{{kMessage, Notification::KillFocus}}));

  // A handler that moves the focus: the report follows that handler, it does not interrupt it.
  field->setFocus();
  seen.clear();
  on_message = [](DialogHost& dialog, const DialogMessage& message) {
    if (message.id == kClear) dialog.set_focus(kScreen);
    return 1;
  };
  host.dispatch_command(kClear);
  EXPECT_EQ(commands(), (Commands{{kClear, Notification::Clicked}, {kMessage, Notification::KillFocus}}));
  for (const Seen& s : seen) EXPECT_EQ(s.depth, 1);
  EXPECT_EQ(host.focus(), kScreen);
}

TEST_F(QtEventsTest, TheCloseBoxAsksTheProcedureAndOnlyEndDialogCloses) {
  show();
  host.window()->close();
  EXPECT_EQ(count(MessageKind::Close), 1);
  EXPECT_TRUE(host.window()->isVisible());

  bool open_while_handled = false;
  on_message = [&](DialogHost& dialog, const DialogMessage& message) {
    if (message.kind == MessageKind::Close) {
      dialog.end_dialog(0);
      open_while_handled = host.window()->isVisible();  // the message is handled to its end
    }
    return 1;
  };
  host.window()->close();
  EXPECT_TRUE(open_while_handled);
  EXPECT_FALSE(host.window()->isVisible());
  seen.clear();
  host.dispatch_command(IDOK);
  EXPECT_TRUE(seen.empty());  // nothing reaches an ended dialog
}

TEST_F(QtEventsTest, ExecRunsUntilTheProcedureEndsTheDialogAndReturnsItsResult) {
  on_message = [](DialogHost& dialog, const DialogMessage& message) {
    if (message.kind == MessageKind::Command && message.id == IDOK) dialog.end_dialog(1);
    return 1;
  };
  QObject scope;  // the timers below die with the test
  QTimer::singleShot(0, &scope, [this] { host.dispatch_command(IDOK); });
  QTimer::singleShot(30000, &scope, [this] { host.end_dialog(-1); });  // a fault fails, never hangs
  EXPECT_EQ(host.exec(), 1);
  EXPECT_EQ(count(MessageKind::InitDialog), 1);
  EXPECT_FALSE(host.window()->isVisible());
  EXPECT_EQ(&platform::desktop(), &host);
}

TEST_F(QtEventsTest, TimersTickIntoAHandlerOnlyWhileItWaitsInABoxAndNeverIntoTheirOwn) {
  show();
  EXPECT_EQ(host.start_timer(0, 50), 0u);
  EXPECT_EQ(host.start_timer(3, 60000), 3u);
  EXPECT_EQ(host.start_timer(3, 0), 3u);  // a restart takes the new period
  EXPECT_GT(host.timer_interval(3), 0);   // but never one that keeps the loop busy
  EXPECT_TRUE(host.stop_timer(3));
  EXPECT_FALSE(host.stop_timer(3));

  auto nested_ticks = [this](int id) {
    int n = 0;
    for (const Seen& s : seen) n += s.kind == MessageKind::Timer && s.id == id && s.depth > 1 ? 1 : 0;
    return n;
  };
  // Timer 1's handler shows a box; while it is open timer 2 keeps ticking into the procedure, and
  // timer 1 never enters its own running handler.
  host.set_message_box_handler([&](std::string_view, std::string_view) {
    EXPECT_TRUE(QTest::qWaitFor([&] { return nested_ticks(2) >= 3; }));
  });
  bool boxed = false;
  // A command's own work that lets the event loop run without a box: no tick gets in.
  on_message = [&boxed](DialogHost&, const DialogMessage& message) {
    if (message.kind == MessageKind::Timer && message.id == 1 && !std::exchange(boxed, true))
      platform::desktop().message_box("busy", "box");
    if (message.kind == MessageKind::Command) QTest::qWait(100);
    return 1;
  };
  host.start_timer(1, 10);
  host.start_timer(2, 10);
  ASSERT_TRUE(QTest::qWaitFor([&] { return boxed && nested_ticks(2) >= 3; }));
  EXPECT_EQ(nested_ticks(1), 0);
  host.stop_timer(1);

  seen.clear();
  host.dispatch_command(kClear);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].kind, MessageKind::Command);
}

TEST_F(QtEventsTest, TheMessageBoxAndTheFilePromptAreTheDesktops) {
  show();
  QTemporaryDir folder;
  const QString previous = QDir::currentPath();
  QDir::setCurrent(folder.path());
  QStringList shown;
  answer_next<QMessageBox>([&](QMessageBox& box) {
    shown << box.windowTitle() << box.text() << QString::number(box.textFormat());
    box.button(QMessageBox::Ok)->click();
  });
  platform::desktop().message_box("Cannot open <COM1> & COM2 = 13", "Quillport System Error");
  answer_next<QFileDialog>([&](QFileDialog& chooser) {
    shown << chooser.windowTitle() << chooser.directory().canonicalPath() << chooser.nameFilters();
    auto* name = chooser.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    if (name == nullptr) {
      chooser.reject();
      return;
    }
    QTest::keyClicks(name, "capture");  // a file that does not exist yet
    QTest::keyClick(name, Qt::Key_Return);
  });
  const std::optional<std::string> chosen = platform::desktop().open_file_prompt({"Receive File", "bin"});
  answer_next<QFileDialog>([](QFileDialog& chooser) { chooser.reject(); });
  const std::optional<std::string> cancelled = platform::desktop().open_file_prompt({"Send File", "bin"});
  QDir::setCurrent(previous);

  const QString canonical = QDir(folder.path()).canonicalPath();
  EXPECT_EQ(shown, (QStringList{"Quillport System Error", "Cannot open <COM1> & COM2 = 13",
                                QString::number(Qt::PlainText), "Receive File", canonical, "All Files (*)"}));
  ASSERT_TRUE(chosen.has_value());
  const QFileInfo file(QString::fromStdString(*chosen));
  EXPECT_EQ(QDir(file.absolutePath()).canonicalPath() + "/" + file.fileName(), canonical + "/capture.bin");
  EXPECT_FALSE(cancelled.has_value());

  // With handlers in their place, nothing is shown.
  std::string handled;
  host.set_message_box_handler([&](std::string_view text, std::string_view caption) { handled = std::string(caption) + ": " + std::string(text); });
  host.set_file_prompt_handler([](const platform::FilePrompt& prompt) { return std::string(prompt.title) + "." + std::string(prompt.default_extension); });
  platform::desktop().message_box("text", "caption");
  EXPECT_EQ(handled, "caption: text");
  EXPECT_EQ(platform::desktop().open_file_prompt({"Log", "htm"}), "Log.htm");
}

// A prompt for a file that will be written asks before replacing one; No goes back to the prompt.
TEST_F(QtEventsTest, APromptForAFileToWriteAsksBeforeReplacingOne) {
  show();
  QTemporaryDir folder;
  const QString previous = QDir::currentPath();
  QDir::setCurrent(folder.path());
  const QString kept = QDir(folder.path()).filePath(QStringLiteral("trace.htm"));
  {
    QFile file(kept);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("IMPORTANT DATA");
  }
  for (const QMessageBox::StandardButton reply : {QMessageBox::No, QMessageBox::Yes}) {
    SCOPED_TRACE(reply == QMessageBox::No ? "No" : "Yes");
    QString asked;
    bool back_in_prompt = false;
    answer_next<QFileDialog>([&](QFileDialog& chooser) {
      auto* name = chooser.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
      if (name == nullptr) {
        chooser.reject();
        return;
      }
      answer_next<QMessageBox>([&](QMessageBox& box) {
        asked = box.text();
        box.button(reply)->click();
        if (reply == QMessageBox::Yes) return;
        // After No the prompt is still there, and the user gives up.
        answer_next<QFileDialog>([&](QFileDialog& again) {
          back_in_prompt = again.isVisible();
          again.reject();
        });
      });
      QTest::keyClicks(name, "trace");  // the default extension makes it trace.htm
      QTest::keyClick(name, Qt::Key_Return);
    });
    const std::optional<std::string> chosen =
        platform::desktop().open_file_prompt({"Select or enter a Log File name", "htm", true});
    EXPECT_TRUE(asked.contains(QStringLiteral("trace.htm"))) << asked.toStdString();
    if (reply == QMessageBox::No) {
      EXPECT_FALSE(chosen.has_value());
      EXPECT_TRUE(back_in_prompt);
    } else {
      ASSERT_TRUE(chosen.has_value());
      EXPECT_EQ(QFileInfo(QString::fromStdString(*chosen)).canonicalFilePath(), QFileInfo(kept).canonicalFilePath());
    }
  }
  QDir::setCurrent(previous);
}

// Typing a folder's name in the prompt lists it, with each entry's kind and icon, but never opens
// an entry: on Linux a read may wait for good (root reading /proc/kmsg waits for the next kernel
// message), and the list is filled on the UI thread. inotify tells every open of the folder's files.
TEST_F(QtEventsTest, ThePromptListsAFolderWithoutOpeningWhatIsInIt) {
  show();
  QTemporaryDir folder;
  const QStringList names = {QStringLiteral("firmware"), QStringLiteral("notes.txt")};
  for (const QString& name : names) {
    QFile file(QDir(folder.path()).filePath(name));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("\x89PNG\r\n\x1a\n");  // contents that would tell a type, had anything read them
  }
  const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  ASSERT_GE(watch, 0);
  ASSERT_GE(inotify_add_watch(watch, QFile::encodeName(folder.path()).constData(), IN_OPEN), 0);

  int listed = 0;
  answer_next<QFileDialog>([&](QFileDialog& chooser) {
    auto* name = chooser.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    auto* model = chooser.findChild<QFileSystemModel*>();
    if (name == nullptr || model == nullptr) {
      chooser.reject();
      return;
    }
    QTest::keyClicks(name, folder.path() + "/");
    const QModelIndex shown = model->index(folder.path());
    static_cast<void>(QTest::qWaitFor([&] { return model->rowCount(shown) == names.size(); }, 30000));
    for (int row = 0; row < model->rowCount(shown); ++row) {
      // What the list and the completer show of each entry: its kind and its icon.
      listed += model->data(model->index(row, 2, shown)).toString().isEmpty() ? 0 : 1;
      model->data(model->index(row, 0, shown), Qt::DecorationRole);
    }
    QTest::qWait(200);  // the background listing has settled
    chooser.reject();
  });
  platform::desktop().open_file_prompt({"Select or enter a Log File name", "htm", true});

  QStringList opened;
  alignas(inotify_event) char events[4096];
  for (ssize_t n; (n = ::read(watch, events, sizeof events)) > 0;) {
    for (ssize_t at = 0; at < n;) {
      const auto* event = reinterpret_cast<const inotify_event*>(events + at);
      if (event->len > 0) opened << QString::fromUtf8(event->name);
      at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
    }
  }
  ::close(watch);
  EXPECT_EQ(listed, names.size());
  EXPECT_TRUE(opened.isEmpty()) << opened.join(' ').toStdString();
}

}  // namespace
}  // namespace qttest
