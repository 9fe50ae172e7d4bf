// Settings given at start, applied through the real dialog procedure onto pseudo-terminals, and
// the port list of --list.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <pty.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/hex.h"
#include "core/resource.h"
#include "serial/devices.h"
#include "shell/command_line.h"
#include "shell/port_list.h"
#include "shell/pump.h"
#include "shell/start_settings.h"
#include "tests/serial/line_readback.h"
#include "tests/shell/shell_fixture.h"

using testsupport::PtyPair;

extern char** environ;

namespace {

namespace fs = std::filesystem;

class StartSettingsTest : public testsupport::DialogTest {
 protected:
  // Reads `args` as the command line and starts the dialog with it.
  void start_with(std::vector<std::string> args) {
    args.insert(args.begin(), "quillport");
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    const CommandLine line = parse_command_line(argv);
    ASSERT_EQ(line.action, StartAction::Run) << line.error;
    win_set_start_settings(line.settings);
    host.init();
  }
  std::string boxes() const {
    std::string texts;
    for (const auto& box : host.message_boxes()) texts += box.text + "\n";
    return texts;
  }
};

// Port B has no device: its settings are kept without a word.
TEST_F(StartSettingsTest, GivenSettingsShowInTheControlsAndActAsChosenOnes) {
  PtyPair a;
  const fs::path log = folder_ / "start.htm";
  const fs::path capture = folder_ / "start.pcapng";
  start_with({"--port-a", a.slave_path(), "--port-b", (folder_ / "none").string(), "--baud-a", "31250", "-d", "7",
              "--parity-b", "space", "-f", "xon", "--view", "ascii", "--log", log.string(), "--capture",
              capture.string()});
  EXPECT_EQ(host.check(IDR_CAPTURE), platform::Check::Checked);
  EXPECT_TRUE(fs::exists(capture));
  const struct {
    int id;
    const char* shown;
  } controls[] = {{IDC_SPEED1, "31250"}, {IDC_SPEED2, "9600"}, {IDC_DATA1, "7"},   {IDC_DATA2, "7"},
                  {IDC_PARITY1, "NONE"}, {IDC_PARITY2, "SPACE"}, {IDC_FLOW1, "XON"}, {IDC_FLOW2, "XON"},
                  {IDC_VIEW, "ASCII"},   {IDT_STATUS, log.c_str()}};
  for (const auto& control : controls) EXPECT_EQ(host.text(control.id), control.shown) << control.id;
  const serialtest::LineReadback line = serialtest::read_line(a.master());
  EXPECT_EQ(line.rate, 31250u);  // typed into Speed: a rate off the list
  EXPECT_TRUE(line.ixon);
  EXPECT_EQ(hex_obj[0].databits, 7);  // a pseudo-terminal keeps 8 data bits whatever it is told
  EXPECT_EQ(hex_obj[1].parity, 4);
  EXPECT_EQ(hex_ascii, 1);  // messages are typed as text, as after choosing the view
  EXPECT_EQ(testsupport::read_file(log), testsupport::kLogHeader);
  EXPECT_EQ(boxes(), "");
}

TEST_F(StartSettingsTest, APortAbsentAtStartOpensWithItsSettingsWhenItsDeviceComes) {
  const fs::path link = folder_ / "adapter";
  start_with({"--port-a", link.string(), "--baud-a", "250000", "--flow-a", "xon"});
  EXPECT_NE(host.tooltip(IDC_COM1_STATE).find("Opens again by itself"), std::string::npos);
  EXPECT_EQ(boxes(), "");

  PtyPair adapter;
  fs::create_symlink(adapter.slave_path(), link);
  for (int tick = 0; tick < 60 && !hex_obj[0].present; ++tick) win_periodic(host);
  ASSERT_EQ(hex_obj[0].present, 1);
  const serialtest::LineReadback line = serialtest::read_line(adapter.master());
  EXPECT_EQ(line.rate, 250000u);
  EXPECT_TRUE(line.ixon);
}

TEST_F(StartSettingsTest, APresentPortsRefusalIsShownAsAfterAClick) {
  PtyPair a;
  StartSettings settings;
  settings.ports[0].device = a.slave_path();
  settings.log = (folder_ / "gone" / "start.htm").string();  // its folder went after the line was read
  win_set_start_settings(settings);
  host.init();
  EXPECT_EQ(boxes().rfind("Log File open error", 0), 0u) << boxes();
  EXPECT_EQ(host.check(IDR_NOLOG), platform::Check::Checked);
}

TEST_F(StartSettingsTest, TheListTellsEachDevicesStateAndHolderWithoutOpeningIt) {
  PtyPair held;
  // Another program holds it: `sleep` with the device as its standard input.
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, held.slave_path().c_str(), O_RDONLY | O_NOCTTY, 0);
  std::string sleep_args[] = {"sleep", "600"};
  char* sleep_argv[] = {sleep_args[0].data(), sleep_args[1].data(), nullptr};
  struct Child {
    pid_t pid = -1;
    ~Child() {
      if (pid > 0 && ::kill(pid, SIGKILL) == 0) ::waitpid(pid, nullptr, 0);
    }
  } holder;
  ASSERT_EQ(posix_spawnp(&holder.pid, "sleep", &actions, nullptr, sleep_argv, environ), 0);
  posix_spawn_file_actions_destroy(&actions);
  const fs::path fd0 = fs::path("/proc") / std::to_string(holder.pid) / "fd" / "0";
  ASSERT_TRUE(testsupport::wait_until([&] {
    std::error_code error;
    return fs::read_symlink(fd0, error).string() == held.slave_path();
  }));

  int master = -1;
  int slave = -1;
  char free_path[256] = {};
  ASSERT_EQ(::openpty(&master, &slave, free_path, nullptr, nullptr), 0);
  ::close(slave);  // nobody holds it
  // A pipe this process holds with no writer: a listing that opened it would wait for ever.
  const fs::path fifo = folder_ / "fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const int pipe_end = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
  const struct {
    std::string device;
    PortState state;
    std::string printed;
  } devices[] = {
      {held.slave_path(), PortState::Held, "held by " + std::to_string(holder.pid) + " (sleep)"},
      {free_path, PortState::Free, "free"},
      {"/nonexistent/ttyUSB9", PortState::Absent, "absent"},
      {fifo.string(), PortState::NotADevice, "not a serial device"},
      {"rfc2217://lab:2217", PortState::Network, "network address"},
  };
  for (int n = 0; n < 5; ++n) serial::bind_device(n, devices[n].device);

  const PortList list = list_ports();
  char* text = nullptr;
  std::size_t size = 0;
  std::FILE* out = open_memstream(&text, &size);
  print_port_list(out, list);
  std::fclose(out);
  const std::string printed(text, size);
  std::free(text);
  ASSERT_EQ(list.ports.size(), 5u);
  for (int n = 0; n < 5; ++n) {
    EXPECT_EQ(list.ports[n].state, devices[n].state) << devices[n].device;
    const std::string com = "COM" + std::to_string(n + 1);
    const std::size_t line = printed.find(com + std::string(7 - com.size(), ' ') + devices[n].device);
    EXPECT_NE(printed.find(devices[n].printed + "\n", line), std::string::npos) << printed;
  }
  ::close(pipe_end);
  ::close(master);
}

}  // namespace
