// The Terminal view in the program's window: the real dialog procedure in the Qt host on the
// offscreen platform, keys pressed on the terminal widget, pseudo-terminals as the lines.
#include <QApplication>
#include <QClipboard>
#include <QTest>

#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "core/dialog_template.h"
#include "core/hex.h"
#include "core/resource.h"
#include "platform/qt/qt_dialog_host.h"
#include "platform/qt/screen_widget.h"
#include "platform/qt/terminal_widget.h"
#include "shell/dialog.h"
#include "tests/core/core_fixture.h"

namespace {

using testsupport::PtyPair;

template <typename Condition>
bool settle(Condition condition) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    QTest::qWait(5);
  }
  return true;
}

class TerminalWindowTest : public ::testing::Test {
 protected:
  TerminalWindowTest() : com1(ports.bind_pty(0)), com2(ports.bind_pty(1)), host(quillport_dialog(), DialogFunc) {}
  ~TerminalWindowTest() override {
    if (!host.ended()) host.dispatch_command(IDCANCEL);
  }

  void start() {
    host.create();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(host.window()));
    host.window()->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(host.window()));
    host.select_entry(IDC_VIEW, HEX_TERMINAL_VIEW);
    host.dispatch_command(IDC_VIEW, platform::Notification::SelChange);
  }
  platform::TerminalWidget& terminal() { return *host.terminal_widget(); }
  // What the far end of COM1 receives, `want` bytes or what came in five seconds, the window
  // running meanwhile.
  std::string received(std::size_t want) {
    std::string got;
    settle([&] {
      got += com1.read(want - got.size(), std::chrono::milliseconds(10));
      return got.size() >= want;
    });
    return got;
  }
  // What the far end writes, carried out once the window has answered the status request after it.
  void far_end_writes(const std::string& bytes) {
    com1.write(bytes + "\x1b[6n");
    ASSERT_EQ(received(6), "\x1b[1;1R") << "no status report came back";
  }

  testsupport::TerminalPorts ports;
  PtyPair& com1;
  PtyPair& com2;
  platform::QtDialogHost host;
};

TEST_F(TerminalWindowTest, TheTerminalTakesThePanesPlaceAndTheFocus) {
  start();
  EXPECT_TRUE(terminal().isVisible());
  EXPECT_FALSE(host.screen_widget()->isVisible());
  EXPECT_TRUE(terminal().hasFocus());
  EXPECT_EQ(host.focus(), IDT_SCREEN);
  EXPECT_EQ(terminal().geometry(), host.screen_widget()->geometry());

  com1.write("\x1b[32mready\x1b[0m");
  com2.write("B");
  ASSERT_TRUE(settle([&] { return host.terminal().emulator().cell(0, 4).chars[0] == U'y'; }));
  ASSERT_TRUE(settle([&] { return host.text(IDT_SCREEN) == " 42"; }));

  host.select_entry(IDC_VIEW, HEX_HEX_VIEW);
  host.dispatch_command(IDC_VIEW, platform::Notification::SelChange);
  EXPECT_FALSE(terminal().isVisible());
  EXPECT_TRUE(host.screen_widget()->hasFocus());
}

// Each key pressed on the terminal, in the modes the far end or the user chose: the bytes that
// reach the far end, each key's once. A marker key ('z') after each shows that nothing more came.
TEST_F(TerminalWindowTest, EachKeySendsWhatXtermSendsInTheCurrentModesOnce) {
  start();
  enum Mode { kNormal, kApplication, kBackspaceBs, kLatin1 };
  const Qt::KeyboardModifiers none = Qt::NoModifier;
  const Qt::KeyboardModifiers ctrl = Qt::ControlModifier;
  const Qt::KeyboardModifiers alt = Qt::AltModifier;
  const Qt::KeyboardModifiers shift = Qt::ShiftModifier;
  const Qt::KeyboardModifiers keypad = Qt::KeypadModifier;
  const struct {
    const char* name;
    Mode mode;
    Qt::Key key;
    Qt::KeyboardModifiers modifiers;
    QString text;
    std::string sent;
  } keys[] = {
      {"Up", kNormal, Qt::Key_Up, none, "", "\x1b[A"},
      {"Left", kNormal, Qt::Key_Left, none, "", "\x1b[D"},
      {"Home", kNormal, Qt::Key_Home, none, "", "\x1b[H"},
      {"End", kNormal, Qt::Key_End, none, "", "\x1b[F"},
      {"Page Up", kNormal, Qt::Key_PageUp, none, "", "\x1b[5~"},
      {"Page Down", kNormal, Qt::Key_PageDown, none, "", "\x1b[6~"},
      {"Insert", kNormal, Qt::Key_Insert, none, "", "\x1b[2~"},
      {"Delete", kNormal, Qt::Key_Delete, none, "", "\x1b[3~"},
      {"F1", kNormal, Qt::Key_F1, none, "", "\x1bOP"},
      {"F5", kNormal, Qt::Key_F5, none, "", "\x1b[15~"},
      {"F12", kNormal, Qt::Key_F12, none, "", "\x1b[24~"},
      {"Ctrl+Up", kNormal, Qt::Key_Up, ctrl, "", "\x1b[1;5A"},
      {"Shift+F5", kNormal, Qt::Key_F5, shift, "", "\x1b[15;2~"},
      {"Alt+Up", kNormal, Qt::Key_Up, alt, "", "\x1b[1;3A"},
      {"Alt+x", kNormal, Qt::Key_X, alt, "x", "\x1bx"},
      {"Ctrl+A", kNormal, Qt::Key_A, ctrl, "", "\x01"},
      {"Ctrl+C", kNormal, Qt::Key_C, ctrl, "", "\x03"},
      {"Ctrl+Shift+A", kNormal, Qt::Key_A, ctrl | shift, "", "\x01"},
      {"Ctrl+[", kNormal, Qt::Key_BracketLeft, ctrl, "", "\x1b"},
      {"Ctrl+Space", kNormal, Qt::Key_Space, ctrl, "", std::string(1, '\0')},
      {"Ctrl+/", kNormal, Qt::Key_Slash, ctrl, "", "\x1f"},
      {"Enter", kNormal, Qt::Key_Return, none, "\r", "\r"},
      {"Tab", kNormal, Qt::Key_Tab, none, "\t", "\t"},
      {"Shift+Tab", kNormal, Qt::Key_Backtab, shift, "", "\x1b[Z"},
      {"Escape", kNormal, Qt::Key_Escape, none, "\x1b", "\x1b"},
      {"Backspace", kNormal, Qt::Key_Backspace, none, "\b", "\x7f"},
      {"Ctrl+Backspace", kNormal, Qt::Key_Backspace, ctrl, "", "\b"},
      {"keypad 5", kNormal, Qt::Key_5, keypad, "5", "5"},
      {"a letter beyond ASCII", kNormal, Qt::Key_Eacute, none, QString(QChar(0xE9)), "\xc3\xa9"},
      {"Up in application mode", kApplication, Qt::Key_Up, none, "", "\x1bOA"},
      {"Home in application mode", kApplication, Qt::Key_Home, none, "", "\x1bOH"},
      {"Ctrl+Up in application mode", kApplication, Qt::Key_Up, ctrl, "", "\x1b[1;5A"},
      {"keypad 5 in application mode", kApplication, Qt::Key_5, keypad, "5", "\x1bOu"},
      {"keypad Enter in application mode", kApplication, Qt::Key_Enter, keypad, "\r", "\x1bOM"},
      {"Backspace as BS", kBackspaceBs, Qt::Key_Backspace, none, "\b", "\b"},
      {"Ctrl+Backspace as BS", kBackspaceBs, Qt::Key_Backspace, ctrl, "", "\x7f"},
      {"a Latin-1 letter", kLatin1, Qt::Key_Eacute, none, QString(QChar(0xE9)), "\xe9"},
      {"beyond Latin-1", kLatin1, Qt::Key_unknown, none, QString(QChar(0x20AC)), "?"},
  };
  Mode mode = kNormal;
  for (const auto& k : keys) {
    SCOPED_TRACE(k.name);
    if (k.mode != mode) {
      mode = k.mode;
      if (mode == kApplication) far_end_writes("\x1b[?1h\x1b=");
      if (mode == kBackspaceBs) far_end_writes("\x1b[?1l\x1b>");
      host.terminal().set_backspace(mode == kBackspaceBs ? terminal::BackspaceSends::Backspace
                                                         : terminal::BackspaceSends::Delete);
      host.terminal().set_decoding(mode == kLatin1 ? terminal::Decoding::Latin1 : terminal::Decoding::Utf8);
    }
    QTest::sendKeyEvent(QTest::Click, &terminal(), k.key, k.text, k.modifiers);
    QTest::keyClick(&terminal(), Qt::Key_Z);
    const std::string expected = k.sent + "z";
    const std::string sent = com1.read(expected.size());
    EXPECT_EQ(sent, expected);
    if (sent != expected) com1.read(4096, std::chrono::milliseconds(100));  // the next key starts clean
  }
  EXPECT_FALSE(host.ended());  // Escape was the far end's
  EXPECT_TRUE(terminal().hasFocus());  // and so were Tab and Shift+Tab
}

TEST_F(TerminalWindowTest, APasteThroughTheWindowIsBracketedWhenTheFarEndAsks) {
  start();
  far_end_writes("\x1b[?2004h");
  QApplication::clipboard()->setText(QStringLiteral("ls -l\n"));
  QTest::keyClick(&terminal(), Qt::Key_V, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_EQ(received(18), "\x1b[200~ls -l\r\x1b[201~");
}

}  // namespace
