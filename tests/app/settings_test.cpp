// Settings that last: the program's window started as main starts it, with its settings file in a
// folder of the test's and pseudo-terminals as the lines. Everything set in one run is there in the
// next, on the lines too; a file that cannot be used is told once and left as it was; a write
// replaces the file in one step and keeps the one before.
#include <QAbstractButton>
#include <QComboBox>
#include <QDialog>
#include <QLineEdit>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/dialog_template.h"
#include "core/hex.h"
#include "core/resource.h"
#include "platform/qt/qt_dialog_host.h"
#include "platform/qt/screen_widget.h"
#include "platform/qt/settings_file.h"
#include "serial/devices.h"
#include "shell/dialog.h"
#include "shell/saved_settings.h"
#include "tests/core/core_fixture.h"
#include "tests/serial/line_readback.h"

namespace {

namespace fs = std::filesystem;
using testsupport::read_file;

template <class Condition>
bool settle(Condition condition) {
  for (int waited = 0; waited < 5000 && !condition(); waited += 5) QTest::qWait(5);
  return condition();
}

void write_file(const fs::path& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }

class SettingsWindowTest : public ::testing::Test {
 protected:
  SettingsWindowTest()
      : folder_(fs::temp_directory_path() / ("quillport-settings-" + std::to_string(::getpid()))),
        file_(folder_ / "quillport" / "quillport.ini") {
    fs::create_directories(file_.parent_path());
  }
  ~SettingsWindowTest() override {
    window_.reset();
    win_forget_settings();
    if (told_ != nullptr) std::fclose(told_);
    std::free(told_text_);
    fs::permissions(file_.parent_path(), fs::perms::owner_all, fs::perm_options::add);
    fs::remove_all(folder_);
  }

  // The window as main starts it: the settings file read, the command line's settings over it.
  platform::QtDialogHost& start(const StartSettings& given = {}) {
    window_.reset();
    hex_reset_state();
    store_.emplace(file_.string());
    if (told_ != nullptr) std::fclose(told_);
    std::free(told_text_);
    told_text_ = nullptr;
    told_ = open_memstream(&told_text_, &told_size_);
    win_set_start_settings(win_load_settings(*store_, given, told_));
    window_ = std::make_unique<platform::QtDialogHost>(quillport_dialog(), DialogFunc);
    window_->set_message_box_handler([this](std::string_view text, std::string_view) { boxes_.emplace_back(text); });
    window_->create();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(window_->window()));
    window_->window()->activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(window_->window()));
    QTest::qWait(150);  // the first ticks: the window's place as the desktop gave it is taken as the start
    return *window_;
  }

  void exit() {
    window_->dispatch_command(IDCANCEL);
    ASSERT_TRUE(settle([this] { return window_->ended(); }));
    std::fclose(told_);
    told_ = nullptr;
  }
  // What the run said on stderr (once it has ended).
  std::string told() const { return told_text_ == nullptr ? "" : std::string(told_text_, told_size_); }

  QComboBox& selector(int id) { return *qobject_cast<QComboBox*>(window_->widget(id)); }

  // As a click on an entry of the selector's list.
  void choose(int id, const char* entry) {
    QComboBox& list = selector(id);
    const int index = list.findText(QString::fromUtf8(entry), Qt::MatchStartsWith);
    ASSERT_GE(index, 0) << entry;
    list.setCurrentIndex(index);
    Q_EMIT list.activated(index);
  }
  // Typed into the selector's field, then Enter.
  void type(int id, const char* text) {
    QLineEdit& field = *selector(id).lineEdit();
    field.selectAll();
    QTest::keyClicks(&field, QString::fromUtf8(text));
    QTest::keyClick(&field, Qt::Key_Return);
    QTest::qWait(10);  // Enter is reported once Qt has handled the key
  }
  void click(int id) { QTest::mouseClick(qobject_cast<QAbstractButton*>(window_->widget(id)), Qt::LeftButton); }
  // Typed into the message field, which is then left for the trace.
  void add_message(const char* text) {
    QLineEdit& field = *selector(IDC_MSG).lineEdit();
    field.setFocus();
    field.clear();
    QTest::keyClicks(&field, QString::fromUtf8(text));
    QTest::mouseClick(window_->screen_widget(), Qt::LeftButton);
    ASSERT_TRUE(settle([this] { return window_->focus() == IDT_SCREEN; }));
  }
  std::vector<std::string> messages() {
    std::vector<std::string> list;
    for (int i = 0; i < window_->entry_count(IDC_MSG); ++i) list.push_back(window_->entry_text(IDC_MSG, i));
    return list;
  }

  fs::path folder_;
  fs::path file_;
  testsupport::TerminalPorts ports;
  std::optional<platform::SettingsFile> store_;
  std::unique_ptr<platform::QtDialogHost> window_;
  std::vector<std::string> boxes_;

 private:
  std::FILE* told_ = nullptr;
  char* told_text_ = nullptr;
  std::size_t told_size_ = 0;
};

TEST_F(SettingsWindowTest, EverySettingSetInOneRunIsThereInTheNextAndOnTheLines) {
  testsupport::PtyPair& a = ports.bind_pty(0);
  ports.bind_pty(1);
  testsupport::PtyPair& third = ports.bind_pty(2);
  start();
  choose(IDC_PORTB, "COM3");  // Port B on the third device
  type(IDC_SPEED1, "250000");
  choose(IDC_DATA1, "7");
  choose(IDC_STOP1, "2");
  choose(IDC_PARITY1, "ODD");
  choose(IDC_FLOW1, "RTS");
  choose(IDC_SPEED2, "19200");
  choose(IDC_DATA2, "6");
  choose(IDC_STOP2, "2");
  choose(IDC_PARITY2, "MARK");
  choose(IDC_FLOW2, "XON");
  choose(IDC_FRAME, "PPP");  // its check and view presets, then others chosen over them
  choose(IDC_SUM, "XOR");
  choose(IDC_VIEW, "ASCII");
  click(IDC_ECHO);
  click(IDR_COM2);
  add_message("7E 01 02");
  add_message("hello, world");
  window_->window()->resize(1200, 800);
  window_->window()->move(30, 40);
  ASSERT_TRUE(settle([this] { return window_->window()->size() == QSize(1200, 800); }));
  exit();
  ASSERT_TRUE(boxes_.empty()) << boxes_.front();

  const std::string saved = read_file(file_);
  const std::vector<std::string> lines = {"[port-a]", "baud=250000", "databits=7", "parity=odd", "flow=rts",
                                          "[port-b]", "device=" + third.slave_path(), "parity=mark", "[frame]",
                                          "type=ppp", "check=xor", "view=ascii", "local-echo=false", "port=b",
                                          "1=7E 01 02", "2=\"hello, world\"", "width=1200", "height=800", "x=30",
                                          "y=40", "maximized=false"};
  for (const std::string& line : lines)
    EXPECT_NE(saved.find(line + "\n"), std::string::npos) << line << " in\n" << saved;

  platform::QtDialogHost& again = start();
  const struct {
    int id;
    const char* shown;
  } controls[] = {{IDC_SPEED1, "250000"}, {IDC_DATA1, "7"},     {IDC_STOP1, "2"},   {IDC_PARITY1, "ODD"},
                  {IDC_FLOW1, "RTS"},     {IDC_SPEED2, "19200"}, {IDC_DATA2, "6"},   {IDC_STOP2, "2"},
                  {IDC_PARITY2, "MARK"},  {IDC_FLOW2, "XON"},    {IDC_FRAME, "PPP"}, {IDC_SUM, "XOR"},
                  {IDC_VIEW, "ASCII"},    {IDC_MSG, ""}};
  for (const auto& control : controls) EXPECT_EQ(again.text(control.id), control.shown) << control.id;
  EXPECT_EQ(again.check(IDC_ECHO), platform::Check::Unchecked);
  EXPECT_EQ(again.check(IDR_COM2), platform::Check::Checked);
  EXPECT_EQ(messages(), (std::vector<std::string>{"", "7E 01 02", "hello, world"}));
  EXPECT_EQ(hex_send_port, 1);
  EXPECT_EQ(hex_local_echo, 0);
  EXPECT_EQ(again.window()->size(), QSize(1200, 800));
  EXPECT_EQ(again.window()->pos(), QPoint(30, 40));
  // Port B is bound to the third device again, and both lines run as set (a pseudo-terminal keeps
  // 8 data bits and no parity enable, whatever it is told, but the rest).
  EXPECT_EQ(serial::device_path(hex_obj[1].portnum), third.slave_path());
  const serialtest::LineReadback line_a = serialtest::read_line(a.master());
  EXPECT_EQ(line_a.rate, 250000u);
  EXPECT_TRUE(line_a.cstopb && line_a.parodd && !line_a.cmspar && line_a.crtscts && !line_a.ixon);
  const serialtest::LineReadback line_b = serialtest::read_line(third.master());
  EXPECT_EQ(line_b.rate, 19200u);
  EXPECT_TRUE(line_b.cstopb && line_b.parodd && line_b.cmspar && line_b.ixon && !line_b.crtscts);
  EXPECT_EQ(hex_obj[0].databits, 7);
  EXPECT_EQ(hex_obj[1].databits, 6);

  exit();
  EXPECT_EQ(read_file(file_), saved);  // nothing changed: the file as it was
  EXPECT_EQ(told(), "");
}

TEST_F(SettingsWindowTest, AMaximisedWindowComesBackMaximisedAndKnowsItsOwnSize) {
  ports.bind_pty(0);
  start();
  window_->window()->resize(1100, 700);
  ASSERT_TRUE(settle([this] { return window_->window()->size() == QSize(1100, 700); }));
  window_->window()->showMaximized();
  ASSERT_TRUE(settle([this] { return window_->window()->isMaximized(); }));
  exit();
  EXPECT_NE(read_file(file_).find("maximized=true\n"), std::string::npos) << read_file(file_);
  EXPECT_NE(read_file(file_).find("width=1100\n"), std::string::npos);

  start();
  EXPECT_TRUE(window_->window()->isMaximized());
  window_->window()->showNormal();
  EXPECT_TRUE(settle([this] { return window_->window()->size() == QSize(1100, 700); }));
}

TEST_F(SettingsWindowTest, AFileThatCannotBeUsedIsToldOnceAndLeftAsItWas) {
  ports.bind_pty(0);
  ports.bind_pty(1);
  const std::string usable = "[port-b]\nbaud=19200\n";
  // Each makes the file's place as the case has it; the bytes it wrote, if any.
  const auto file_of = [&](const std::string& bytes) {
    write_file(file_, bytes);
    return bytes;
  };
  const auto none = [](bool made) { return made ? std::string() : std::string("not made"); };
  const struct {
    const char* name;
    std::function<std::string()> make;
    const char* told;       // what is wrong, as told
    const char* port_b;     // Port B's speed then: the file's where it could be read
    bool needs_permission;  // a case the permission bits make, which root reads through
  } cases[] = {
      {"lines that are no settings", [&] { return file_of(usable + "this line is no setting\n[window\n"); },
       "has lines that are no settings", "19200", false},
      {"cut off in a group's name", [&] { return file_of(usable + "[win"); }, "has lines that are no settings",
       "19200", false},
      {"hostile values",
       [&] {
         return file_of(usable + "[port-a]\nbaud=99999999999999999999\nparity=@ByteArray(odd)\n"
                                 "flow=@Variant(\\0\\0\\0\\x7f)\n[window]\nwidth=-5\nheight=100000000\n"
                                 "[elsewhere]\nkey=value\n");
       },
       "no usable value for port-a/flow, port-a/parity, port-a/baud, window/width and 1 more", "19200", false},
      {"bytes that are no text", [&] { return file_of(usable + std::string("\0\x01\xff\xfe", 4) + "\n"); },
       "is not a text file", "9600", false},
      {"too large", [&] { return file_of(usable + std::string(platform::SettingsFile::kLargestFile, '#')); },
       "is too large to be a settings file", "9600", false},
      {"a folder in its place", [&] { return none(fs::create_directory(file_)); }, "is not a file", "9600", false},
      {"a pipe in its place", [&] { return none(::mkfifo(file_.c_str(), 0600) == 0); }, "is not a file", "9600",
       false},
      {"a loop of links",
       [&] {
         fs::create_symlink(file_, file_);
         return std::string();
       },
       "cannot be read (Too many levels of symbolic links)", "9600", false},
      {"no permission to read",
       [&] {
         const std::string bytes = file_of(usable);
         fs::permissions(file_, fs::perms::none);
         return bytes;
       },
       "cannot be read (Permission denied)", "9600", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.needs_permission && ::geteuid() == 0) continue;  // root reads what the bits forbid
    fs::remove_all(file_);
    const std::string bytes = c.make();
    ASSERT_NE(bytes, "not made");
    const fs::file_status before = fs::symlink_status(file_);
    platform::QtDialogHost& window = start();
    EXPECT_EQ(window.text(IDC_SPEED1), "9600");
    EXPECT_EQ(window.text(IDC_SPEED2), c.port_b);
    EXPECT_EQ(window.text(IDT_PROGRESS), std::string("Settings: ") + c.told + "; defaults used");
    exit();
    EXPECT_EQ(told(), "quillport: " + file_.string() + ": " + c.told + "; defaults used instead\n");
    EXPECT_EQ(fs::symlink_status(file_).type(), before.type());
    if (fs::is_regular_file(before)) {
      fs::permissions(file_, fs::perms::owner_read, fs::perm_options::add);
      EXPECT_EQ(read_file(file_), bytes);
    }
    EXPECT_FALSE(fs::exists(file_.string() + ".bak") || fs::exists(file_.string() + ".new"));
  }
}

TEST_F(SettingsWindowTest, AWriteReplacesTheFileInOneStepAndKeepsTheOneBefore) {
  platform::SettingsFile store(file_.string());
  fs::remove_all(file_.parent_path());  // the folder is made when first written
  ASSERT_EQ(store.write({{"port-a/baud", "9600"}}), "");
  ASSERT_EQ(store.write({{"port-a/baud", "19200"}}), "");
  EXPECT_EQ(read_file(file_), "[port-a]\nbaud=19200\n");
  EXPECT_EQ(read_file(file_.string() + ".bak"), "[port-a]\nbaud=9600\n");
  EXPECT_EQ(store.read().values, (platform::SettingsValues{{"port-a/baud", "19200"}}));

  // Reached through a link, the file is replaced where the link points and the link stays.
  const fs::path kept = folder_ / "dotfiles.ini";
  fs::rename(file_, kept);
  fs::create_symlink(kept, file_);
  ASSERT_EQ(store.write({{"port-b/baud", "300"}}), "");
  EXPECT_TRUE(fs::is_symlink(file_));
  EXPECT_EQ(read_file(kept), "[port-b]\nbaud=300\n");

  // A folder in its place stays, and the write says why not.
  fs::remove(file_);
  fs::create_directory(file_);
  EXPECT_EQ(store.write({{"port-b/baud", "300"}}).rfind("cannot replace " + file_.string(), 0), 0u);
  EXPECT_TRUE(fs::is_directory(file_));
  EXPECT_FALSE(fs::exists(file_.string() + ".new"));
}

}  // namespace
