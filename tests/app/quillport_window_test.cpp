// The program's own window: the real dialog procedure in the Qt host on the offscreen platform,
// driven with real clicks and keys, with pseudo-terminals as the two lines.
#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QTest>

#include <array>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "core/hex.h"
#include "core/port_claim.h"
#include "core/resource.h"
#include "platform/qt/qt_dialog_host.h"
#include "platform/qt/screen_widget.h"
#include "shell/dialog.h"
#include "core/dialog_template.h"
#include "serial/devices.h"
#include "serial/ser.h"
#include "tests/core/core_fixture.h"
#include "tests/serial/line_readback.h"
#include "tools/xmodem_run/xmodem_run.h"

namespace {

using platform::Check;
using testsupport::PtyPair;

using testsupport::kLogFooter;
using testsupport::kLogHeader;
using testsupport::read_file;

// Lets the event loop run until `condition` holds or two seconds pass.
template <typename Condition>
bool settle(Condition condition) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    QTest::qWait(5);
  }
  return true;
}

class WindowTest : public ::testing::Test {
 protected:
  WindowTest()
      : log_folder_(std::filesystem::temp_directory_path() / ("quillport-window-" + std::to_string(getpid()))),
        host(quillport_dialog(), DialogFunc) {
    std::filesystem::create_directories(log_folder_);
    host.set_message_box_handler([this](std::string_view text, std::string_view caption) {
      boxes.push_back(std::string(caption) + ": " + std::string(text));
    });
    host.set_file_prompt_handler([this](const platform::FilePrompt&) { return file_answer; });
  }

  ~WindowTest() override {
    if (!host.ended()) host.dispatch_command(IDCANCEL);
    std::filesystem::remove_all(log_folder_);
  }

  void start() {
    host.create();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(host.window()));
    host.window()->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(host.window()));
  }

  void click(int id) {
    auto* button = qobject_cast<QAbstractButton*>(host.widget(id));
    ASSERT_NE(button, nullptr) << "no button " << id;
    QTest::mouseClick(button, Qt::LeftButton);
  }

  platform::ScreenWidget& screen_widget() { return *host.screen_widget(); }
  std::string shown() { return host.text(IDT_SCREEN); }

  platform::Colour colour_at(int position) { return testsupport::colour_at(host.screen(), position); }

  std::filesystem::path start_log() {
    const auto path = log_folder_ / "window.htm";
    file_answer = path.string();
    click(IDR_LOG);
    return path;
  }

  std::filesystem::path log_folder_;
  testsupport::TerminalPorts ports;
  platform::QtDialogHost host;
  std::vector<std::string> boxes;
  std::optional<std::string> file_answer;
};

TEST_F(WindowTest, StartsWithEveryControlInPlaceAndItsDefaults) {
  ports.bind_pty(0);
  start();

  EXPECT_EQ(host.window()->windowTitle().toStdString(), "Quillport version 3.11, October 2000");
  for (const platform::ControlTemplate& control : quillport_dialog().controls) {
    if (control.id < 0) continue;
    SCOPED_TRACE("control " + std::to_string(control.id));
    QWidget* widget = host.widget(control.id);
    ASSERT_NE(widget, nullptr);
    if (auto* button = qobject_cast<QAbstractButton*>(widget); button != nullptr && !control.caption.empty()) {
      EXPECT_EQ(button->text().toStdString(), std::string(control.caption));
    }
  }
  struct Default {
    int id;
    const char* text;
  };
  const Default selectors[] = {{IDC_SPEED1, "9600"}, {IDC_DATA2, "8"},      {IDC_STOP1, "1"},
                               {IDC_PARITY2, "NONE"}, {IDC_FLOW1, "NONE"},  {IDC_VIEW, "Hexadecimal"},
                               {IDC_SUM, "CRC16"},    {IDC_PROTOCOL, "Dump"}, {IDC_FRAME, "None"}};
  for (const Default& selector : selectors) EXPECT_EQ(host.text(selector.id), selector.text) << selector.id;
  for (const int id : {IDR_NOLOG, IDR_RUN, IDR_COM1, IDR_SENDFILE, IDC_ECHO}) EXPECT_EQ(host.check(id), Check::Checked) << id;
  for (const int id : {IDR_LOG, IDR_STOP, IDR_COM2, IDR_GETFILE}) EXPECT_EQ(host.check(id), Check::Unchecked) << id;
  EXPECT_EQ(host.text(IDT_PROGRESS), "");
  EXPECT_EQ(host.check(IDC_COM1_STATE), Check::Checked);
  EXPECT_EQ(host.check(IDC_COM2_STATE), Check::Indeterminate);
  EXPECT_TRUE(boxes.empty());

  // Each COM number shows the device it stands for; the indicators say which, and why not.
  EXPECT_EQ(host.entry_text(IDC_PORTA, 0).substr(0, 10), "COM1  pts/");
  EXPECT_EQ(host.entry_text(IDC_PORTB, 2), "COM3  (none)");
  EXPECT_NE(host.widget(IDC_COM1_STATE)->toolTip().toStdString().find("/dev/pts/"), std::string::npos);
  EXPECT_NE(host.widget(IDC_COM2_STATE)->toolTip().toStdString().find("no serial device"), std::string::npos);
  EXPECT_EQ(QApplication::focusWidget(), &screen_widget());
}

TEST_F(WindowTest, ARateTypedInSpeedIsAppliedOnEnterAndOnLeavingTheField) {
  ports.bind_pty(0);
  start();
  auto* speed = static_cast<QComboBox*>(host.widget(IDC_SPEED1));
  const struct {
    const char* typed;
    bool enter;  // else the field is left with Tab
    unsigned rate;
  } cases[] = {{"250000", true, 250000}, {"31250", false, 31250}};
  for (const auto& c : cases) {
    speed->setFocus();
    speed->lineEdit()->selectAll();
    QTest::keyClicks(speed, c.typed);
    QTest::keyClick(speed, c.enter ? Qt::Key_Return : Qt::Key_Tab);
    QCoreApplication::processEvents();
    EXPECT_EQ(serialtest::read_line(serial::native_handle(0)).rate, c.rate) << c.typed;
    EXPECT_EQ(host.text(IDC_SPEED1), c.typed);
  }
  EXPECT_TRUE(boxes.empty());
}

TEST_F(WindowTest, TheCommPortFieldsShowTheWholeEntry) {
  start();
  for (const int id : {IDC_PORTA, IDC_PORTB}) {
    host.set_entry_text(id, 0, "COM1  ttyUSB0");
    host.select_entry(id, 0);
    const QLineEdit* field = qobject_cast<QComboBox*>(host.widget(id))->lineEdit();
    // The edit field keeps a margin of a few pixels on either side of its text.
    EXPECT_LE(field->fontMetrics().horizontalAdvance(field->text()) + 6, field->contentsRect().width()) << id;
    EXPECT_EQ(field->cursorPosition(), 0);
  }
}

TEST_F(WindowTest, RunStopAndClear) {
  PtyPair& com1 = ports.bind_pty(0);
  start();

  click(IDR_STOP);
  EXPECT_EQ(hex_run, 0);
  EXPECT_EQ(host.check(IDR_RUN), Check::Unchecked);
  com1.write("gone");
  QTest::qWait(150);
  EXPECT_EQ(shown(), "");

  click(IDR_RUN);
  EXPECT_EQ(hex_run, 1);
  EXPECT_EQ(QApplication::focusWidget(), &screen_widget());
  com1.write("A");
  ASSERT_TRUE(settle([&] { return shown() == " 41"; })) << shown();

  click(IDB_CLEAR);
  EXPECT_EQ(shown(), "");
}

TEST_F(WindowTest, AnAbsentPortCannotBeTheSendPort) {
  ports.bind_pty(1);  // Port B only
  start();
  ASSERT_EQ(hex_send_port, 0);

  click(IDR_COM2);
  EXPECT_EQ(hex_send_port, 1);
  click(IDR_COM1);
  EXPECT_EQ(hex_send_port, 1);
  EXPECT_EQ(host.check(IDR_COM1), Check::Unchecked);
  EXPECT_EQ(host.check(IDR_COM2), Check::Checked);
}

TEST_F(WindowTest, ClickingAnIndicatorChangesNothing) {
  ports.bind_pty(0);
  start();
  for (int clicks = 0; clicks < 3; ++clicks) {
    click(IDC_COM1_STATE);
    click(IDC_COM2_STATE);
    EXPECT_EQ(host.check(IDC_COM1_STATE), Check::Checked);
    EXPECT_EQ(host.check(IDC_COM2_STATE), Check::Indeterminate);
  }
}

TEST_F(WindowTest, LogAndNoLogWriteACompleteLog) {
  PtyPair& com1 = ports.bind_pty(0);
  start();
  const auto path = start_log();
  EXPECT_EQ(hex_log, 1);
  EXPECT_EQ(host.check(IDR_LOG), Check::Checked);
  EXPECT_EQ(host.text(IDT_STATUS), path.string());

  com1.write("<");
  ASSERT_TRUE(settle([&] { return shown() == " 3C"; }));
  click(IDR_NOLOG);

  EXPECT_EQ(read_file(path), kLogHeader + "<font color=\"#0000FF\"> 3C</font>" + kLogFooter);
  EXPECT_EQ(host.text(IDT_STATUS), "");
  EXPECT_TRUE(boxes.empty());
}

TEST_F(WindowTest, ACancelledLogPromptShowsTheBoxAndNoLog) {
  start();
  file_answer.reset();
  click(IDR_LOG);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].rfind("Quillport System Error: Log File open error = ", 0), 0u) << boxes[0];
  EXPECT_EQ(host.check(IDR_NOLOG), Check::Checked);
  EXPECT_EQ(hex_log, 0);
}

TEST_F(WindowTest, EveryWayOfEndingLeavesACompleteLog) {
  struct Ending {
    const char* how;
    void (*end)(platform::QtDialogHost& dialog);
  };
  const Ending endings[] = {
      {"Exit button",
       [](platform::QtDialogHost& dialog) {
         QTest::mouseClick(qobject_cast<QAbstractButton*>(dialog.widget(IDCANCEL)), Qt::LeftButton);
       }},
      {"close box", [](platform::QtDialogHost& dialog) { dialog.window()->close(); }},
      {"OK command", [](platform::QtDialogHost& dialog) { dialog.dispatch_command(IDOK); }},
  };
  for (const Ending& ending : endings) {
    SCOPED_TRACE(ending.how);
    testsupport::TerminalPorts lines;
    PtyPair& com1 = lines.bind_pty(0);
    platform::QtDialogHost dialog(quillport_dialog(), DialogFunc);
    const auto path = log_folder_ / "ending.htm";
    dialog.set_file_prompt_handler([&](const platform::FilePrompt&) { return std::optional(path.string()); });
    dialog.create();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog.window()));
    QTest::mouseClick(qobject_cast<QAbstractButton*>(dialog.widget(IDR_LOG)), Qt::LeftButton);
    com1.write("\x01");
    ASSERT_TRUE(settle([&] { return dialog.text(IDT_SCREEN) == " 01"; }));

    ending.end(dialog);

    EXPECT_TRUE(settle([&] { return dialog.ended(); }));
    EXPECT_EQ(read_file(path), kLogHeader + "<font color=\"#0000FF\"> 01</font>" + kLogFooter);
    EXPECT_EQ(hex_obj[0].present, 0) << "Port A still open";
  }
}

TEST_F(WindowTest, WithoutLocalEchoTypedKeysAreSentButNotShown) {
  PtyPair& com1 = ports.bind_pty(0);
  start();
  click(IDC_ECHO);
  ASSERT_EQ(hex_local_echo, 0);
  QTest::keyClicks(&screen_widget(), "ab");
  EXPECT_EQ(com1.read(2), "ab");
  EXPECT_EQ(shown(), "");

  click(IDC_ECHO);
  QTest::keyClicks(&screen_widget(), "c");
  EXPECT_EQ(com1.read(1), "c");
  EXPECT_EQ(shown(), "c");
  EXPECT_EQ(colour_at(0), hex_colour[0].tx);
}

TEST_F(WindowTest, ControlCCopiesASelectionAndIsSentWithoutOne) {
  PtyPair& com1 = ports.bind_pty(0);
  start();
  QTest::keyClicks(&screen_widget(), "xyz");
  ASSERT_EQ(com1.read(3), "xyz");

  host.screen().set_selection(0, 2);
  QTest::keyClick(&screen_widget(), Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(QApplication::clipboard()->text().toStdString(), "xy");
  EXPECT_EQ(com1.read(1, std::chrono::milliseconds(100)), "");

  host.screen().set_selection(3, 3);
  QTest::keyClick(&screen_widget(), Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(com1.read(1), "\x03");
  EXPECT_EQ(shown(), "xyz");
}

TEST_F(WindowTest, DeleteSendsBackspaceAndDeletesLikeIt) {
  PtyPair& com1 = ports.bind_pty(0);
  start();
  QTest::keyClicks(&screen_widget(), "abc");
  ASSERT_EQ(com1.read(3), "abc");
  QTest::keyClick(&screen_widget(), Qt::Key_Delete);
  EXPECT_EQ(com1.read(1), "\x08");
  EXPECT_EQ(shown(), "ab");
}

TEST_F(WindowTest, EscapeSendsOneEscapeAndLeavesTheWindowOpen) {
  PtyPair& com1 = ports.bind_pty(0);
  start();
  QTest::keyClick(&screen_widget(), Qt::Key_Escape);
  EXPECT_EQ(com1.read(2, std::chrono::milliseconds(200)), "\x1b");
  EXPECT_FALSE(host.ended());
  EXPECT_EQ(shown(), "");
}

// Every key the keyboard filter handles, pressed on the trace pane in each view: the bytes that
// reach the far end of the send port, each key's once. After each key a marker key ('z') shows that
// nothing more of it comes.
TEST_F(WindowTest, EachKeySendsItsBytesOnceInEveryView) {
  PtyPair& com1 = ports.bind_pty(0);
  start();
  const struct {
    const char* name;
    Qt::Key key;
    Qt::KeyboardModifiers modifiers;
    const char* in_ansi;   // sent in the ANSI view
    const char* elsewhere; // sent in the other views
  } keys[] = {
      {"Up", Qt::Key_Up, Qt::NoModifier, "\x1b[A", ""},
      {"Down", Qt::Key_Down, Qt::NoModifier, "\x1b[B", ""},
      {"Right", Qt::Key_Right, Qt::NoModifier, "\x1b[C", ""},
      {"Left", Qt::Key_Left, Qt::NoModifier, "\x1b[D", ""},
      {"Home", Qt::Key_Home, Qt::NoModifier, "\x1b[H", ""},
      {"End", Qt::Key_End, Qt::NoModifier, "\x1bOQ", ""},
      {"Page Up", Qt::Key_PageUp, Qt::NoModifier, "\x1bOP", ""},
      {"Page Down", Qt::Key_PageDown, Qt::NoModifier, "\x1bOS", ""},
      {"Return", Qt::Key_Return, Qt::NoModifier, "\r\n", "\r"},
      {"keypad Enter", Qt::Key_Enter, Qt::KeypadModifier, "\r\n", "\r"},
      {"Escape", Qt::Key_Escape, Qt::NoModifier, "\x1b", "\x1b"},
      {"Delete", Qt::Key_Delete, Qt::NoModifier, "\b", "\b"},
      {"Backspace", Qt::Key_Backspace, Qt::NoModifier, "\b", "\b"},
      {"Tab", Qt::Key_Tab, Qt::NoModifier, "\t", "\t"},
      {"Space", Qt::Key_Space, Qt::NoModifier, " ", " "},
      {"a letter", Qt::Key_A, Qt::NoModifier, "a", "a"},
      {"Ctrl+C without a selection", Qt::Key_C, Qt::ControlModifier, "\x03", "\x03"},
      {"Ctrl+[", Qt::Key_BracketLeft, Qt::ControlModifier, "\x1b", "\x1b"},
  };
  for (int view = HEX_HEX_VIEW; view <= HEX_ICNI_VIEW; ++view) {
    host.select_entry(IDC_VIEW, view);
    host.dispatch_command(IDC_VIEW, platform::Notification::SelChange);
    ASSERT_EQ(hex_view_mode, view);
    for (const auto& k : keys) {
      SCOPED_TRACE(std::string(k.name) + " in view " + std::to_string(view));
      screen_widget().setFocus();
      QTest::keyClick(&screen_widget(), k.key, k.modifiers);
      QTest::keyClick(&screen_widget(), Qt::Key_Z);
      const std::string expected = std::string(view == HEX_ANSI_VIEW ? k.in_ansi : k.elsewhere) + "z";
      const std::string sent = com1.read(expected.size());
      EXPECT_EQ(sent, expected);
      if (sent != expected) com1.read(4096, std::chrono::milliseconds(100));  // the next key starts clean
    }
  }
}

// A status or progress text wider than its line shows its start: a path in it is shortened in the
// middle first, then the end gives way; the whole text stays the line's text and its hint.
TEST_F(WindowTest, LongStatusTextsShowTheirStart) {
  start();
  const std::string by_id = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";
  const struct {
    int id;
    std::string text;
    std::string starts;  // what the line shows first
    std::string holds;   // and somewhere after it
    std::string ends;    // and last
  } cases[] = {
      {IDT_PROGRESS, "Dump Completed ", "Dump Completed ", "", "Dump Completed "},
      {IDT_PROGRESS, "X-Modem Failed: " + by_id + ": the device stopped answering (Input/output error)",
       "X-Modem Failed: /dev/", "\u2026port0: the device", "\u2026"},
      {IDT_STATUS, "/home/engineer/firmware/releases/2024/board-rev-c/image-" + std::string(60, 'x') + ".bin",
       "/home/engineer/", "\u2026", ".bin"},
      {IDT_PROGRESS, "Port A write failed (" + std::string(200, 'w') + "): not sent", "Port A write failed (", "",
       "\u2026"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    host.set_text(c.id, c.text);
    auto* line = qobject_cast<QLabel*>(host.widget(c.id));
    ASSERT_NE(line, nullptr);
    const QString shown = line->text();
    const int room = line->contentsRect().width() - 2 * line->indent();
    EXPECT_LE(line->fontMetrics().horizontalAdvance(shown), room);
    EXPECT_TRUE(shown.startsWith(QString::fromStdString(c.starts))) << shown.toStdString();
    EXPECT_TRUE(shown.contains(QString::fromStdString(c.holds))) << shown.toStdString();
    EXPECT_TRUE(shown.endsWith(QString::fromStdString(c.ends))) << shown.toStdString();
    EXPECT_EQ(host.text(c.id), c.text);
    EXPECT_EQ(line->toolTip().toStdString(), shown.toStdString() == c.text ? "" : c.text);
  }
}

TEST_F(WindowTest, BytesFromBothLinesAppearAtTheNextTickInTheirColours) {
  PtyPair& com1 = ports.bind_pty(0);
  PtyPair& com2 = ports.bind_pty(1);
  start();
  com1.write("\x41");
  ASSERT_TRUE(settle([&] { return shown() == " 41"; }));
  com2.write("\x42");
  ASSERT_TRUE(settle([&] { return shown() == " 41 42"; }));
  EXPECT_EQ(colour_at(1), hex_colour[0].rx);
  EXPECT_EQ(colour_at(4), hex_colour[1].rx);
}

TEST_F(WindowTest, AnXModemSendRunsOnItsThreadWhileTheWindowsTimersShowItsProgress) {
  linesim::Pty line;
  serial::bind_device(0, line.slave_path());
  start();
  const auto dir = log_folder_ / "rx";
  std::filesystem::create_directories(dir);
  std::string original(5000, '\0');
  for (std::size_t i = 0; i < original.size(); ++i) original[i] = static_cast<char>(i * 7);
  xmodemrun::write_file((log_folder_ / "send.bin").string(), original);
  linesim::Program rx(xmodemrun::rx(xmodemrun::Check::Crc1K, "file.bin").argv, dir.string(), (dir / ".rx.log").string());
  ASSERT_TRUE(rx.wait_started(10000));
  linesim::Options paced;
  paced.baud = 115200;
  linesim::Relay relay(line.end(), rx.end(), paced);

  host.select_entry(IDC_PROTOCOL, HEX_XMODEM_1K);
  file_answer = (log_folder_ / "send.bin").string();
  click(IDB_GO_FILE);
  bool packets_shown = false;
  const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (hex_xmodem_busy && std::chrono::steady_clock::now() < limit) {
    packets_shown = packets_shown || host.text(IDT_PROGRESS).rfind("Packets = ", 0) == 0;
    QTest::qWait(5);
  }
  EXPECT_EQ(host.text(IDT_PROGRESS), "X-Modem Completed ");
  EXPECT_TRUE(packets_shown);
  EXPECT_EQ(rx.wait(10000), 0);
  EXPECT_TRUE(xmodemrun::is_padded_copy(read_file(dir / "file.bin"), original));
  EXPECT_TRUE(host.widget(IDB_GO_FILE)->isEnabled());
}

}  // namespace
