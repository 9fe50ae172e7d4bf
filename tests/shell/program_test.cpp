// The real program's command line: its answers and refusals with no display at all (a window
// tried without one would abort), and a start whose options reach both lines.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "tests/core/core_fixture.h"
#include "tests/serial/line_readback.h"
#include "tests/support/pty_pair.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

struct Outcome {
  int status = -1;  // the exit status (128 + the signal that ended it); -1: still running after 30 s
  std::string out, err;
};

// Runs the program with `args`, with no display (or on the offscreen platform) and `variables`
// added; `meanwhile` gets its process id while it runs.
Outcome run(std::vector<std::string> args, bool offscreen, std::vector<std::string> variables = {},
            const std::function<void(pid_t)>& meanwhile = {}) {
  // The user's own settings are neither read nor written: unless a test names a folder for them,
  // one of its own stands in for the run.
  const fs::path scratch_config = fs::temp_directory_path() / ("quillport-config-" + std::to_string(::getpid()));
  const bool own_config = std::any_of(variables.begin(), variables.end(),
                                      [](const std::string& v) { return v.rfind("XDG_CONFIG_HOME=", 0) == 0; });
  if (!own_config) variables.push_back("XDG_CONFIG_HOME=" + scratch_config.string());
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string variable(*entry);
    bool kept = true;
    for (const char* dropped :
         {"DISPLAY=", "WAYLAND_DISPLAY=", "QT_QPA_PLATFORM=", "QUILLPORT_COM", "XDG_CONFIG_HOME="})
      kept = kept && variable.rfind(dropped, 0) != 0;
    if (kept) variables.push_back(variable);
  }
  if (offscreen) variables.emplace_back("QT_QPA_PLATFORM=offscreen");
  args.insert(args.begin(), QUILLPORT_PROGRAM);
  const fs::path out = fs::temp_directory_path() / ("quillport-out-" + std::to_string(::getpid()));
  const fs::path err = out.string() + "-err";
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  const auto pointers = [](std::vector<std::string>& texts) {
    std::vector<char*> result;
    for (std::string& text : texts) result.push_back(text.data());
    result.push_back(nullptr);
    return result;
  };
  pid_t pid = -1;
  Outcome outcome;
  const int spawned =
      posix_spawn(&pid, args[0].c_str(), &actions, nullptr, pointers(args).data(), pointers(variables).data());
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return outcome;
  if (meanwhile) meanwhile(pid);
  int status = 0;
  if (testsupport::wait_until([&] { return ::waitpid(pid, &status, WNOHANG) == pid; }, 30s))
    outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  else if (::kill(pid, SIGKILL) == 0)
    ::waitpid(pid, nullptr, 0);
  outcome.out = testsupport::read_file(out);
  outcome.err = testsupport::read_file(err);
  fs::remove(out);
  fs::remove(err);
  fs::remove_all(scratch_config);
  return outcome;
}

constexpr char kUsageLine[] = "Usage: quillport [options]\nTry 'quillport --help' for more information.\n";

TEST(Program, AnswersAndRefusalsNeedNoDisplay) {
  const struct {
    std::vector<std::string> args;
    int status;
    std::string out;  // what stdout starts with
    std::string err;  // stderr exactly
  } cases[] = {
      {{"--help"}, 0, "Usage: quillport [options]\n", ""},
      {{"--version"}, 0, "quillport " QUILLPORT_VERSION "\n", ""},
      {{"--list", "--port-a", "/nonexistent/ttyUSB9"}, 0, "COM1   /nonexistent/ttyUSB9  absent\n", ""},
      {{"--bogus"}, 2, "", std::string("quillport: unknown or ambiguous option '--bogus'\n") + kUsageLine},
      {{"--baud-a", "fast"}, 2, "",
       std::string("quillport: --baud-a: 'fast' is not a rate in bit/s (50 to 999999999)\n") + kUsageLine},
      {{"--view", "sideways"}, 2, "",
       std::string("quillport: --view: 'sideways' is not a view (hex, ascii, ansi, hdlc, ppp, icni or terminal)\n") + kUsageLine},
      {{"--port-b"}, 2, "", std::string("quillport: --port-b needs a value\n") + kUsageLine},
      {{"stray"}, 2, "", std::string("quillport: unexpected argument 'stray'\n") + kUsageLine},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.args));
    const Outcome outcome = run(c.args, false);
    EXPECT_EQ(outcome.status, c.status);
    EXPECT_EQ(outcome.out.rfind(c.out, 0), 0u) << outcome.out;
    EXPECT_EQ(outcome.err, c.err);
  }
}

TEST(Program, OptionsGivenAtStartReachBothLines) {
  testsupport::PtyPair a;
  testsupport::PtyPair b;
  const fs::path log = fs::temp_directory_path() / ("quillport-start-" + std::to_string(::getpid()) + ".htm");
  const std::vector<std::string> args = {"--port-a", a.slave_path(), "--port-b", b.slave_path(), "-b", "250000",
                                         "--baud-a", "57600", "--stopbits-a", "2", "--flow-a", "rts",
                                         "--parity-b", "mark", "--flow-b", "xon", "--log", log.string()};
  const auto settled = [&] {
    const serialtest::LineReadback line_a = serialtest::read_line(a.master());
    const serialtest::LineReadback line_b = serialtest::read_line(b.master());
    return line_a.rate == 57600 && line_a.cstopb && line_a.crtscts && line_b.rate == 250000 && line_b.cmspar &&
           line_b.parodd && line_b.ixon && testsupport::read_file(log) == testsupport::kLogHeader;
  };
  // --port-a wins over QUILLPORT_COM1.
  const Outcome outcome = run(args, true, {"QUILLPORT_COM1=/nonexistent"}, [&](pid_t pid) {
    EXPECT_TRUE(testsupport::wait_until(settled, 30s));
    ::kill(pid, SIGTERM);
  });
  EXPECT_EQ(outcome.status, 0) << outcome.err;
  EXPECT_EQ(testsupport::read_file(log), testsupport::kLogHeader + testsupport::kLogFooter);
  fs::remove(log);
}

TEST(Program, SavedSettingsStartTheLinesUnderTheCommandLinesAndStayAsTheyWere) {
  testsupport::PtyPair a;
  const fs::path config = fs::temp_directory_path() / ("quillport-saved-" + std::to_string(::getpid()));
  const fs::path file = config / "quillport" / "quillport.ini";
  fs::create_directories(file.parent_path());
  const std::string saved = "[port-a]\nbaud=115200\ndevice=" + a.slave_path() + "\nflow=xon\n";
  std::ofstream(file) << saved;
  const struct {
    std::vector<std::string> args;
    unsigned rate;
    bool ixon;
  } cases[] = {
      {{}, 115200, true},                                       // the saved device, at its saved settings
      {{"--baud-a", "57600"}, 57600, true},                     // the command line's for this run
      {{"--no-config", "--port-a", a.slave_path()}, 9600, false},  // the defaults, the file not read
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.args));
    const auto settled = [&] {
      const serialtest::LineReadback line = serialtest::read_line(a.master());
      return line.rate == c.rate && line.ixon == c.ixon;
    };
    const Outcome outcome = run(c.args, true, {"XDG_CONFIG_HOME=" + config.string()}, [&](pid_t pid) {
      EXPECT_TRUE(testsupport::wait_until(settled, 30s));
      ::kill(pid, SIGTERM);
    });
    EXPECT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_EQ(outcome.err.find("quillport:"), std::string::npos) << outcome.err;  // nothing to tell
    EXPECT_EQ(testsupport::read_file(file), saved);  // nothing was changed: nothing written
    EXPECT_FALSE(fs::exists(file.string() + ".bak"));
  }
  fs::remove_all(config);
}

}  // namespace
