// The real program's command line: its answers and refusals with no display at all (a window
// tried without one would abort), and a start whose options reach both lines.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "tests/core/core_fixture.h"
#include "tests/serial/line_readback.h"
#include "tests/support/pty_pair.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

struct Outcome {
  int status = -1;  // the exit status, -1 when it did not exit by itself in time
  std::string out, err;
};

class Program {
 public:
  // Starts the program with `args` in an environment without a display (or on the offscreen
  // platform), with `variables` added; its output goes to files.
  Program(const std::vector<std::string>& args, bool offscreen, std::vector<std::string> variables = {})
      : folder_(fs::temp_directory_path() / ("quillport-program-" + std::to_string(::getpid()))) {
    fs::create_directories(folder_);
    for (char** entry = environ; *entry != nullptr; ++entry) {
      const std::string variable(*entry);
      const bool display = variable.rfind("DISPLAY=", 0) == 0 || variable.rfind("WAYLAND_DISPLAY=", 0) == 0 ||
                           variable.rfind("QT_QPA_PLATFORM=", 0) == 0 || variable.rfind("QUILLPORT_COM", 0) == 0;
      if (!display) variables.push_back(variable);
    }
    if (offscreen) variables.emplace_back("QT_QPA_PLATFORM=offscreen");
    std::vector<std::string> argv_text = {QUILLPORT_PROGRAM};
    argv_text.insert(argv_text.end(), args.begin(), args.end());
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out_path().c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, err_path().c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const std::vector<char*> argv = pointers(argv_text);
    const std::vector<char*> envp = pointers(variables);
    if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
  }
  ~Program() {
    if (pid_ > 0 && ::kill(pid_, SIGKILL) == 0) ::waitpid(pid_, nullptr, 0);
    fs::remove_all(folder_);
  }
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;

  bool started() const { return pid_ > 0; }
  void signal(int number) const { ::kill(pid_, number); }

  // Waits for the end (30 s at most, then kills it).
  Outcome finish() {
    Outcome outcome;
    int status = 0;
    const bool ended = testsupport::wait_until([&] { return ::waitpid(pid_, &status, WNOHANG) == pid_; }, 30s);
    if (ended) {
      pid_ = -1;
      outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    outcome.out = testsupport::read_file(out_path());
    outcome.err = testsupport::read_file(err_path());
    return outcome;
  }

 private:
  static std::vector<char*> pointers(std::vector<std::string>& texts) {
    std::vector<char*> result;
    for (std::string& text : texts) result.push_back(text.data());
    result.push_back(nullptr);
    return result;
  }
  fs::path out_path() const { return folder_ / "out"; }
  fs::path err_path() const { return folder_ / "err"; }

  fs::path folder_;
  pid_t pid_ = -1;
};

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
       std::string("quillport: --view: 'sideways' is not a view (hex, ascii, ansi, hdlc, ppp or icni)\n") + kUsageLine},
      {{"--port-b"}, 2, "", std::string("quillport: --port-b needs a value\n") + kUsageLine},
      {{"stray"}, 2, "", std::string("quillport: unexpected argument 'stray'\n") + kUsageLine},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.args));
    Program program(c.args, false);
    ASSERT_TRUE(program.started());
    const Outcome outcome = program.finish();
    EXPECT_EQ(outcome.status, c.status);
    EXPECT_EQ(outcome.out.rfind(c.out, 0), 0u) << outcome.out;
    EXPECT_EQ(outcome.err, c.err);
  }
}

TEST(Program, OptionsGivenAtStartReachBothLines) {
  testsupport::PtyPair a;
  testsupport::PtyPair b;
  const fs::path log = fs::temp_directory_path() / ("quillport-start-" + std::to_string(::getpid()) + ".htm");
  Program program({"--port-a", a.slave_path(), "--port-b", b.slave_path(), "-b", "250000", "--baud-a", "57600",
                   "--stopbits-a", "2", "--flow-a", "rts", "--parity-b", "mark", "--flow-b", "xon", "--log",
                   log.string()},
                  true, {"QUILLPORT_COM1=/nonexistent"});
  ASSERT_TRUE(program.started());
  const auto settled = [&] {
    const serialtest::LineReadback line_a = serialtest::read_line(a.master());
    const serialtest::LineReadback line_b = serialtest::read_line(b.master());
    return line_a.rate == 57600 && line_a.cstopb && line_a.crtscts && line_b.rate == 250000 && line_b.cmspar &&
           line_b.parodd && line_b.ixon && testsupport::read_file(log) == testsupport::kLogHeader;
  };
  EXPECT_TRUE(testsupport::wait_until(settled, 30s));
  program.signal(SIGTERM);
  const Outcome outcome = program.finish();
  EXPECT_EQ(outcome.status, 0) << outcome.err;
  EXPECT_EQ(testsupport::read_file(log), testsupport::kLogHeader + testsupport::kLogFooter);
  fs::remove(log);
}

}  // namespace
