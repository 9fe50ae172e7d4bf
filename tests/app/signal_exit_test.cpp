// SIGTERM, SIGINT and SIGHUP to the program's window (offscreen, in a process of its own) with a log
// open: it ends through Exit's shutdown sequence, so the log gets its closing lines and the line its
// own settings back, also when the signal comes while a box waits for its user.
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

extern char** environ;

namespace {

using namespace std::chrono_literals;
using testsupport::kLogHeader;
using testsupport::read_file;

// The window with COM1 at `com1` and no device for COM2; its process id, or -1.
pid_t start_window(const std::string& com1, const std::string& log, const char* mode) {
  std::vector<std::string> variables = {"QUILLPORT_COM1=" + com1, "QUILLPORT_COM2=/nonexistent",
                                        "QT_QPA_PLATFORM=offscreen"};
  for (char** entry = environ; *entry != nullptr; ++entry)
    if (std::string(*entry).rfind("QUILLPORT_COM", 0) != 0) variables.emplace_back(*entry);
  std::vector<char*> envp;
  for (std::string& variable : variables) envp.push_back(variable.data());
  envp.push_back(nullptr);
  std::vector<std::string> args = {QUILLPORT_SIGNALLED_WINDOW, log};
  if (mode != nullptr) args.emplace_back(mode);
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  pid_t pid = -1;
  return posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), envp.data()) == 0 ? pid : -1;
}

// The process's wait status once it has ended, or -1 when it did not end in time (it is killed).
int wait_for_end(pid_t pid) {
  int status = 0;
  for (int waited_ms = 0; waited_ms < 30000; waited_ms += 10) {
    if (waitpid(pid, &status, WNOHANG) == pid) return status;
    std::this_thread::sleep_for(10ms);
  }
  kill(pid, SIGKILL);
  waitpid(pid, &status, 0);
  return -1;
}

TEST(SignalExit, EachSignalEndsTheProgramLikeExit) {
  const struct {
    int signal;
    bool with_box;
  } cases[] = {{SIGTERM, false}, {SIGINT, true}, {SIGHUP, false}};
  const auto log =
      std::filesystem::temp_directory_path() / ("quillport-signal-" + std::to_string(getpid()) + ".htm");
  const std::string piece = "<font color=\"#0000FF\"> 55</font>";
  for (const auto& c : cases) {
    SCOPED_TRACE(strsignal(c.signal) + std::string(c.with_box ? " while a box is open" : ""));
    testsupport::PtyPair com1;
    // The line as another program left it, cooked at 19200 baud: the window must put it back so.
    const int line = ::open(com1.slave_path().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_TRUE(serialtest::set_cooked(line, 19200));
    std::filesystem::remove(log);

    const pid_t window = start_window(com1.slave_path(), log.string(), c.with_box ? "box" : nullptr);
    ASSERT_GT(window, 0);
    // Once the log is open, a byte from the line shows the pump running and logging.
    EXPECT_TRUE(testsupport::wait_until([&] { return read_file(log) == kLogHeader; }, 30s));
    com1.write("U");
    EXPECT_TRUE(testsupport::wait_until([&] { return read_file(log) == kLogHeader + piece; }, 30s));
    kill(window, c.signal);
    const int status = wait_for_end(window);

    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "wait status " << status;
    EXPECT_EQ(read_file(log), kLogHeader + piece + testsupport::kLogFooter);
    const serialtest::LineReadback after = serialtest::read_line(line);
    EXPECT_EQ(after.rate, 19200u);
    EXPECT_FALSE(after.raw);
    ::close(line);
  }
  std::filesystem::remove(log);
}

// The UI thread held in a read that never returns cannot run the shutdown: within a few seconds of
// the signal the program still gives the line its own settings back and ends, with status 1, as
// nothing of the orderly shutdown ran (the log gets no closing lines).
TEST(SignalExit, AWindowStuckInACallStillGivesTheLineBack) {
  const auto log =
      std::filesystem::temp_directory_path() / ("quillport-stuck-" + std::to_string(getpid()) + ".htm");
  std::filesystem::remove(log);
  testsupport::PtyPair com1;
  const int line = ::open(com1.slave_path().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  ASSERT_TRUE(serialtest::set_cooked(line, 19200));

  const pid_t window = start_window(com1.slave_path(), log.string(), "hang");
  ASSERT_GT(window, 0);
  // Where its UI thread waits in the kernel: a pipe read ("pipe_read", "anon_pipe_read").
  const std::string waits_in = "/proc/" + std::to_string(window) + "/wchan";
  EXPECT_TRUE(testsupport::wait_until([&] { return read_file(waits_in).find("pipe_read") != std::string::npos; }, 30s))
      << read_file(waits_in);
  EXPECT_TRUE(serialtest::read_line(line).raw);  // the window has the line
  kill(window, SIGTERM);
  const int status = wait_for_end(window);

  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << "wait status " << status;
  EXPECT_EQ(read_file(log), kLogHeader);
  const serialtest::LineReadback after = serialtest::read_line(line);
  EXPECT_EQ(after.rate, 19200u);
  EXPECT_FALSE(after.raw);
  EXPECT_FALSE(serialtest::is_exclusive(line));
  ::close(line);
  std::filesystem::remove(log);
}

}  // namespace
