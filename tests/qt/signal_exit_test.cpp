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
using testsupport::read_file;

// Starts the window with COM1 at `com1` and COM2 at no device; its process id, or -1.
pid_t start_window(const std::string& com1, const std::string& log, bool with_box) {
  std::vector<std::string> variables = {"QUILLPORT_COM1=" + com1, "QUILLPORT_COM2=/nonexistent/quillport-com2",
                                        "QT_QPA_PLATFORM=offscreen"};
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string variable = *entry;
    if (variable.rfind("QUILLPORT_COM", 0) != 0 && variable.rfind("QT_QPA_PLATFORM=", 0) != 0)
      variables.push_back(variable);
  }
  std::vector<char*> envp;
  for (std::string& variable : variables) envp.push_back(variable.data());
  envp.push_back(nullptr);
  std::string program = QUILLPORT_SIGNALLED_WINDOW;
  std::string log_arg = log;
  std::string box_arg = "box";
  std::vector<char*> argv = {program.data(), log_arg.data()};
  if (with_box) argv.push_back(box_arg.data());
  argv.push_back(nullptr);
  pid_t pid = -1;
  return posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv.data(), envp.data()) == 0 ? pid : -1;
}

// Waits up to `limit` for the process to end; its wait status, or -1 when it did not end (it is
// then killed).
int wait_for_end(pid_t pid, std::chrono::seconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  int status = 0;
  while (std::chrono::steady_clock::now() < deadline) {
    if (waitpid(pid, &status, WNOHANG) == pid) return status;
    std::this_thread::sleep_for(10ms);
  }
  kill(pid, SIGKILL);
  waitpid(pid, &status, 0);
  return -1;
}

TEST(SignalExit, EachSignalEndsTheProgramLikeExit) {
  const struct {
    const char* name;
    int signal;
    bool with_box;
  } cases[] = {
      {"SIGTERM", SIGTERM, false},
      {"SIGINT while a box is open", SIGINT, true},
      {"SIGHUP", SIGHUP, false},
  };
  const auto folder = std::filesystem::temp_directory_path() / ("quillport-signal-" + std::to_string(getpid()));
  std::filesystem::create_directories(folder);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    testsupport::PtyPair com1;
    // The line as another program left it: cooked, 19200 baud. The window must put it back so.
    const int line = ::open(com1.slave_path().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(line, 0);
    ASSERT_TRUE(serialtest::set_cooked(line, 19200));
    const serialtest::LineReadback before = serialtest::read_line(line);
    const auto log = folder / "signalled.htm";
    std::filesystem::remove(log);

    const pid_t window = start_window(com1.slave_path(), log.string(), c.with_box);
    ASSERT_GT(window, 0);
    // Once the log is open the pump is running: a byte from the line shows it is logging.
    const std::string piece = "<font color=\"#0000FF\"> 55</font>";
    ASSERT_TRUE(testsupport::wait_until([&] { return read_file(log) == testsupport::kLogHeader; }, 30s));
    com1.write("U");
    const bool logged = testsupport::wait_until([&] { return read_file(log) == testsupport::kLogHeader + piece; }, 30s);
    EXPECT_TRUE(logged) << read_file(log);

    kill(window, c.signal);
    const int status = wait_for_end(window, 30s);

    ASSERT_NE(status, -1) << "the window did not end";
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "wait status " << status;
    EXPECT_EQ(read_file(log), testsupport::kLogHeader + piece + testsupport::kLogFooter);
    const serialtest::LineReadback after = serialtest::read_line(line);
    EXPECT_EQ(after.rate, before.rate);
    EXPECT_EQ(after.raw, before.raw);
    EXPECT_FALSE(after.raw);
    ::close(line);
  }
  std::filesystem::remove_all(folder);
}

}  // namespace
