// scripts/with-cable runs the window over a virtual cable in a temporary folder. Ended by Ctrl+C (a
// terminal sends SIGINT to the whole process group: script, socat and window at once) or by a signal
// to the script alone, the window ends the way Exit does, the script's status is the window's 0, and
// no folder stays behind.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>

#include "tests/support/pty_pair.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// The script in a session of its own, as a terminal starts a command: its own process group, and
// every signal at its default, as a shell's background job would not have it.
pid_t start_script(const fs::path& temporary) {
  std::vector<std::string> variables = {"TMPDIR=" + temporary.string(), "QUILLPORT_CABLE=1",
                                        "QT_QPA_PLATFORM=offscreen"};
  for (char** entry = environ; *entry != nullptr; ++entry)
    if (std::string(*entry).rfind("TMPDIR=", 0) != 0) variables.emplace_back(*entry);
  std::vector<char*> envp;
  for (std::string& variable : variables) envp.push_back(variable.data());
  envp.push_back(nullptr);
  std::string script = QUILLPORT_WITH_CABLE;
  std::string window = QUILLPORT_WINDOW;
  char* argv[] = {script.data(), window.data(), nullptr};

  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t all;
  sigfillset(&all);
  posix_spawnattr_setsigdefault(&attributes, &all);
  sigset_t none;
  sigemptyset(&none);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
  posix_spawn_file_actions_t files;
  posix_spawn_file_actions_init(&files);
  posix_spawn_file_actions_addopen(&files, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  pid_t pid = -1;
  const int result = posix_spawn(&pid, argv[0], &files, &attributes, argv, envp.data());
  posix_spawn_file_actions_destroy(&files);
  posix_spawnattr_destroy(&attributes);
  return result == 0 ? pid : -1;
}

// The cable end COM1 stands for, once the script has made it: "/dev/pts/N".
std::string cable_end(const fs::path& temporary) {
  std::error_code error;
  for (const fs::directory_entry& folder : fs::directory_iterator(temporary, error)) {
    const fs::path end = fs::read_symlink(folder.path() / "com1", error);
    if (!error && folder.path().filename().string().rfind("quillport-cable.", 0) == 0) return end.string();
  }
  return "";
}

// True once the window holds `device` open: it has opened its port, so its signal handlers are in
// place. (socat holds the cable's ends open too.)
bool held_open(const std::string& device) {
  std::error_code error;
  for (const fs::directory_entry& process : fs::directory_iterator("/proc", error)) {
    std::string name;
    std::getline(std::ifstream(process.path() / "comm"), name);
    if (name != "quillport") continue;
    std::error_code unreadable;
    for (const fs::directory_entry& fd : fs::directory_iterator(process.path() / "fd", unreadable)) {
      std::error_code gone;
      if (fs::read_symlink(fd.path(), gone) == device) return true;
    }
  }
  return false;
}

int cable_folders(const fs::path& temporary) {
  int count = 0;
  for (const fs::directory_entry& entry : fs::directory_iterator(temporary))
    count += entry.path().filename().string().rfind("quillport-cable.", 0) == 0 ? 1 : 0;
  return count;
}

int wait_for_end(pid_t pid) {
  int status = 0;
  if (!testsupport::wait_until([&] { return waitpid(pid, &status, WNOHANG) == pid; }, 60s)) {
    kill(-pid, SIGKILL);
    waitpid(pid, &status, 0);
    return -1;
  }
  return status;
}

TEST(WithCable, ASignalEndsTheWindowCleanlyAndLeavesNothingBehind) {
  const struct {
    const char* what;
    int signal;
    bool whole_group;
  } cases[] = {
      {"Ctrl+C", SIGINT, true}, {"SIGTERM to the script", SIGTERM, false}, {"SIGHUP to the group", SIGHUP, true}};
  const fs::path temporary = fs::temp_directory_path() / ("quillport-with-cable-" + std::to_string(getpid()));
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(temporary);
    fs::create_directories(temporary);
    const pid_t script = start_script(temporary);
    ASSERT_GT(script, 0);
    std::string end;
    ASSERT_TRUE(testsupport::wait_until([&] { return !(end = cable_end(temporary)).empty(); }, 30s));
    ASSERT_TRUE(testsupport::wait_until([&] { return held_open(end); }, 60s)) << end << " never opened";
    kill(c.whole_group ? -script : script, c.signal);
    const int status = wait_for_end(script);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "wait status " << status;
    EXPECT_EQ(cable_folders(temporary), 0) << "left behind in " << temporary;
  }
  fs::remove_all(temporary);
}

}  // namespace
