// Saved settings: each value read as the command line reads its own or refused, the command line
// over the saved ones for its run only, and a store written only after the user changed something.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/hex.h"
#include "core/resource.h"
#include "serial/devices.h"
#include "shell/command_line.h"
#include "shell/saved_settings.h"
#include "shell/settings_values.h"
#include "tests/serial/line_readback.h"
#include "tests/shell/shell_fixture.h"

namespace {

using platform::SettingsValues;

class MemoryStore final : public platform::SettingsStore {
 public:
  std::string name() const override { return "memory"; }
  platform::SettingsReading read() override {
    ++reads;
    return reading;
  }
  std::string write(const SettingsValues& values) override {
    ++writes;
    if (refusal.empty()) reading.values = values;
    return refusal;
  }

  platform::SettingsReading reading;
  int reads = 0;
  int writes = 0;
  std::string refusal;  // a write's failure, "" for none
};

// What a run writes on stderr.
class Told {
 public:
  Told() : file_(open_memstream(&text_, &size_)) {}
  ~Told() {
    std::fclose(file_);
    std::free(text_);
  }
  std::FILE* file() { return file_; }
  std::string text() {
    std::fflush(file_);
    return std::string(text_, size_);
  }

 private:
  char* text_ = nullptr;
  std::size_t size_ = 0;
  std::FILE* file_;
};

StartSettings command_line(std::vector<std::string> args) {
  args.insert(args.begin(), "quillport");
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  const CommandLine line = parse_command_line(argv);
  EXPECT_EQ(line.action, StartAction::Run) << line.error;
  return line.settings;
}

TEST(SettingsValues, EachIsReadAsItsControlTakesItOrRefused) {
  const std::string longest(HEX_MAX_STRING - 1, 'A');
  const struct {
    const char* key;
    std::string text;
    const char* kept;  // as written back; nullptr: refused
    const char* as = nullptr;  // the key it is written back under, when another
  } cases[] = {
      {"port-a/baud", "31250", "31250"},      {"port-a/baud", "fast", nullptr},
      {"port-b/baud", "99999999999999999999", nullptr}, {"port-b/baud", "49", nullptr},
      {"port-b/databits", "7", "7"},          {"port-b/databits", "9", nullptr},
      {"port-a/stopbits", "2", "2"},          {"port-a/stopbits", "1.5", nullptr},
      {"port-b/parity", "m", "mark"},         {"port-b/parity", "sometimes", nullptr},
      {"port-a/flow", "hard", "rts"},         {"port-a/flow", "", nullptr},
      {"port-a/device", "ttyUSB3", "/dev/ttyUSB3"},
      {"port-b/device", "rfc2217://lab:2217", "rfc2217://lab:2217"},
      {"port-b/device", "ftp://lab:21", nullptr},
      {"display/view", "Hexadecimal", "hex"}, {"display/view", "sideways", nullptr},
      {"display/local-echo", "false", "false"}, {"display/local-echo", "maybe", nullptr},
      {"send/port", "B", "b"},                {"send/port", "c", nullptr},
      {"frame/type", "Hdlc", "hdlc"},         {"frame/check", "md5", nullptr},
      {"messages/1", "7E 01, 02", "7E 01, 02"},
      {"messages/10", longest, longest.c_str(), "messages/1"},  // the list is numbered afresh
      {"messages/2", longest + "A", nullptr}, {"messages/11", "7E", nullptr},
      {"messages/first", "7E", nullptr},      {"messages/3", std::string("7E\0", 3), nullptr},
      {"window/width", "1600", "1600"},       {"window/width", "0", nullptr},
      {"window/height", "1000000000", nullptr}, {"window/x", "-40", "-40"},
      {"window/y", "top", nullptr},           {"window/maximized", "yes", "true"},
      {"terminal/size", "132X43", "132x43"},  {"terminal/size", "80x0", nullptr},
      {"terminal/size", "1001x24", nullptr},  {"terminal/size", "80", nullptr},
      {"terminal/decoding", "Latin-1", "latin-1"}, {"terminal/decoding", "ebcdic", nullptr},
      {"terminal/backspace", "BS", "bs"},     {"terminal/backspace", "^H", nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.key) + " = '" + c.text.substr(0, 40) + "'");
    // A window's other keys are there: a size alone makes a placement, a position needs both.
    SettingsValues values = {{"window/width", "1000"}, {"window/height", "700"}, {"window/x", "1"}, {"window/y", "2"}};
    values[c.key] = c.text;
    std::vector<std::string> refused;
    const SettingsValues written = values_of(settings_from_values(values, refused));
    if (c.kept != nullptr) {
      EXPECT_TRUE(refused.empty()) << refused.front();
      const std::string key = c.as != nullptr ? c.as : c.key;
      ASSERT_EQ(written.count(key), 1u);
      EXPECT_EQ(written.at(key), c.kept);
    } else {
      EXPECT_EQ(refused, std::vector<std::string>{c.key});
    }
  }
  // Keys of no setting are no concern of the program's.
  std::vector<std::string> refused;
  EXPECT_TRUE(values_of(settings_from_values({{"colours/rx", "blue"}, {"port-a/colour", "red"}}, refused)).empty());
  EXPECT_TRUE(refused.empty());
}

class SavedSettingsTest : public testsupport::DialogTest {
 protected:
  ~SavedSettingsTest() override { win_forget_settings(); }

  // Starts the dialog (the second one in the test: after the first has ended) as main does.
  void start(platform::HeadlessHost& dialog, const StartSettings& given) {
    win_set_start_settings(win_load_settings(store, given, told.file()));
    dialog.init();
  }
  void start_again(const StartSettings& given) {
    ASSERT_TRUE(host.ended());
    hex_reset_state();
    second.emplace(quillport_dialog(), DialogFunc);
    start(*second, given);
  }

  MemoryStore store;
  Told told;
  std::optional<platform::HeadlessHost> second;
};

TEST_F(SavedSettingsTest, TheCommandLineHoldsForItsRunAndTheStoreKeepsItsOwn) {
  testsupport::PtyPair& a = ports.bind_pty(0);
  store.reading.values = {{"port-a/baud", "115200"}, {"port-a/flow", "xon"}, {"display/view", "ascii"},
                          {"notes/bench", "left rack"}};
  start(host, command_line({"--baud-a", "57600", "--view", "hdlc"}));
  EXPECT_EQ(serialtest::read_line(a.master()).rate, 57600u);
  EXPECT_TRUE(serialtest::read_line(a.master()).ixon);
  EXPECT_EQ(host.text(IDC_VIEW), "HDLC");
  host.command(IDCANCEL);
  EXPECT_EQ(store.writes, 0);  // nothing changed, nothing written

  start_again(command_line({"--baud-a", "57600", "--view", "hdlc"}));
  second->choose(IDC_PARITY2, 2);
  second->command(IDCANCEL);
  ASSERT_EQ(store.writes, 1);
  const SettingsValues& saved = store.reading.values;
  EXPECT_EQ(saved.at("port-a/baud"), "115200");  // the command line's rate was for its run
  EXPECT_EQ(saved.at("display/view"), "ascii");
  EXPECT_EQ(saved.at("port-a/flow"), "xon");
  EXPECT_EQ(saved.at("port-b/parity"), "even");
  EXPECT_EQ(saved.at("port-a/device"), a.slave_path());
  EXPECT_EQ(saved.at("notes/bench"), "left rack");
  EXPECT_EQ(told.text(), "");
}

TEST_F(SavedSettingsTest, TheTerminalsChoicesComeBackAndOneMadeInItsMenuIsSaved) {
  store.reading.values = {{"terminal/size", "132x43"}, {"terminal/decoding", "latin-1"}, {"display/view", "terminal"}};
  start(host, {});
  EXPECT_EQ(host.terminal().size(), (platform::TerminalSize{43, 132}));
  EXPECT_EQ(host.terminal().decoding(), terminal::Decoding::Latin1);
  EXPECT_TRUE(host.terminal().shown());
  host.terminal().set_backspace(terminal::BackspaceSends::Backspace);  // as its menu does
  host.command(IDCANCEL);
  EXPECT_EQ(store.reading.values.at("terminal/backspace"), "bs");
  EXPECT_EQ(store.reading.values.at("terminal/size"), "132x43");
  EXPECT_EQ(store.reading.values.at("display/view"), "terminal");
}

TEST_F(SavedSettingsTest, NoConfigStartsFromTheDefaultsAndSavesNothing) {
  ports.bind_pty(0);
  store.reading.values = {{"port-a/baud", "115200"}, {"port-a/flow", "fast"}};
  start(host, command_line({"--no-config"}));
  EXPECT_EQ(host.text(IDC_SPEED1), "9600");
  host.choose(IDC_PARITY1, 1);
  for (int tick = 0; tick < 30; ++tick) host.fire_timer(HEX_SCREEN_TIMER);
  host.command(IDCANCEL);
  EXPECT_EQ(store.reads + store.writes, 0);
  EXPECT_EQ(told.text(), "");
}

TEST_F(SavedSettingsTest, ASavedDeviceGivesWayToTheVariableAndIsKept) {
  testsupport::PtyPair& a = ports.bind_pty(0);
  store.reading.values = {{"port-a/device", "/dev/ttyUSB7"}, {"port-a/baud", "19200"}};
  setenv("QUILLPORT_COM1", a.slave_path().c_str(), 1);
  start(host, {});
  unsetenv("QUILLPORT_COM1");
  EXPECT_EQ(hex_obj[0].present, 1);
  EXPECT_EQ(serialtest::read_line(a.master()).rate, 19200u);
  host.choose(IDC_STOP1, 1);
  host.command(IDCANCEL);
  EXPECT_EQ(store.reading.values.at("port-a/device"), "/dev/ttyUSB7");
  EXPECT_EQ(store.reading.values.at("port-a/stopbits"), "2");
}

TEST_F(SavedSettingsTest, AChangeIsSavedWithinASecondAndAFailedWriteToldOnce) {
  ports.bind_pty(0);
  start(host, {});
  host.set_text(IDC_MSG, "7E 01 02");
  host.leave(IDC_MSG);
  for (int tick = 0; tick < 21; ++tick) host.fire_timer(HEX_SCREEN_TIMER);
  ASSERT_EQ(store.writes, 1);
  EXPECT_EQ(store.reading.values.at("messages/1"), "7E 01 02");

  store.refusal = "cannot replace memory (No space left on device)";
  host.click(IDC_ECHO);
  for (int tick = 0; tick < 60; ++tick) host.fire_timer(HEX_SCREEN_TIMER);
  host.command(IDCANCEL);
  EXPECT_EQ(store.writes, 2);
  EXPECT_EQ(told.text(), "quillport: settings not saved: cannot replace memory (No space left on device)\n");
}

}  // namespace
