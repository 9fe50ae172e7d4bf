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
  std::vector<std::string> box_texts() const {
    std::vector<std::string> texts;
    for (const auto& box : host.message_boxes()) texts.push_back(box.text);
    return texts;
  }
};

TEST_F(StartSettingsTest, GivenSettingsReachTheLinesAndTheControlsAsChosenOnes) {
  PtyPair a;
  PtyPair b;
  const fs::path log = folder_ / "start.htm";
  start_with({"--port-a", a.slave_path(), "--baud-a", "57600", "-d", "7", "--parity-a", "odd",
              "--stopbits-a", "2", "--flow-a", "rts", "--port-b", b.slave_path(), "-b", "250000",
              "--parity-b", "mark", "--flow-b", "xon", "--view", "ascii", "--log", log.string()});

  // A pseudo-terminal keeps 8 data bits and clears PARENB whatever it is told; the rest shows.
  const struct {
    PtyPair& line;
    int speed_control;
    std::string speed_shown;
    int parity_control;
    std::string parity_shown;
    unsigned rate;
    bool parodd, cmspar, cstopb, crtscts, ixon;
  } lines[] = {
      {a, IDC_SPEED1, "57600", IDC_PARITY1, "ODD", 57600, true, false, true, true, false},
      {b, IDC_SPEED2, "250000", IDC_PARITY2, "MARK", 250000, true, true, false, false, true},
  };
  for (const auto& port : lines) {
    SCOPED_TRACE(port.line.slave_path());
    const serialtest::LineReadback line = serialtest::read_line(port.line.master());
    EXPECT_EQ(line.rate, port.rate);
    EXPECT_EQ(line.parodd, port.parodd);
    EXPECT_EQ(line.cmspar, port.cmspar);
    EXPECT_EQ(line.cstopb, port.cstopb);
    EXPECT_EQ(line.crtscts, port.crtscts);
    EXPECT_EQ(line.ixon, port.ixon);
    EXPECT_EQ(host.text(port.speed_control), port.speed_shown);
    EXPECT_EQ(host.text(port.parity_control), port.parity_shown);
  }
  EXPECT_EQ(host.text(IDC_DATA2), "7");
  EXPECT_EQ(hex_obj[0].databits, 7);
  EXPECT_EQ(hex_obj[1].databits, 7);
  EXPECT_EQ(host.text(IDC_VIEW), "ASCII");
  EXPECT_EQ(hex_view_mode, HEX_ASCII_VIEW);
  EXPECT_EQ(hex_ascii, 1);  // messages are typed as text, as after choosing the view
  EXPECT_EQ(hex_log, 1);
  EXPECT_EQ(host.check(IDR_LOG), platform::Check::Checked);
  EXPECT_EQ(host.text(IDT_STATUS), log.string());
  EXPECT_EQ(testsupport::read_file(log), testsupport::kLogHeader);
  EXPECT_TRUE(host.message_boxes().empty()) << testing::PrintToString(box_texts());

}

TEST_F(StartSettingsTest, APortAbsentAtStartKeepsItsSettingsQuietlyAndOpensWithThem) {
  const fs::path link = folder_ / "adapter";
  start_with({"--port-a", link.string(), "--baud-a", "250000", "--databits-a", "6", "--flow-a", "xon"});
  EXPECT_EQ(hex_obj[0].present, 0);
  EXPECT_TRUE(host.message_boxes().empty()) << testing::PrintToString(box_texts());
  EXPECT_EQ(host.text(IDC_SPEED1), "250000");
  EXPECT_NE(host.tooltip(IDC_COM1_STATE).find("Opens again by itself"), std::string::npos);

  PtyPair adapter;
  fs::create_symlink(adapter.slave_path(), link);
  for (int tick = 0; tick < 60 && !hex_obj[0].present; ++tick) win_periodic(host);
  ASSERT_EQ(hex_obj[0].present, 1);
  const serialtest::LineReadback line = serialtest::read_line(adapter.master());
  EXPECT_EQ(line.rate, 250000u);
  EXPECT_TRUE(line.ixon);
  EXPECT_EQ(hex_obj[0].databits, 6);
}

TEST_F(StartSettingsTest, APresentPortsRefusalIsShownAsAfterAClick) {
  PtyPair a;
  const fs::path log = folder_ / "missing-folder" / "start.htm";
  StartSettings settings;
  settings.ports[0].device = a.slave_path();
  settings.log = log.string();  // its folder went away after the command line was read
  win_set_start_settings(settings);
  host.init();
  ASSERT_EQ(host.message_boxes().size(), 1u);
  EXPECT_EQ(host.message_boxes()[0].text.rfind("Log File open error", 0), 0u) << host.message_boxes()[0].text;
  EXPECT_EQ(host.check(IDR_NOLOG), platform::Check::Checked);
}

TEST_F(StartSettingsTest, TheListTellsEachDevicesStateAndHolderWithoutOpeningIt) {
  PtyPair held;
  // Another program holds it: `sleep` with the device as its standard input.
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, held.slave_path().c_str(), O_RDONLY | O_NOCTTY, 0);
  char sleep_name[] = "sleep";
  char forever[] = "600";
  char* sleep_argv[] = {sleep_name, forever, nullptr};
  struct Child {
    pid_t pid = -1;
    ~Child() {
      if (pid > 0 && ::kill(pid, SIGKILL) == 0) ::waitpid(pid, nullptr, 0);
    }
  } child;
  ASSERT_EQ(posix_spawnp(&child.pid, "sleep", &actions, nullptr, sleep_argv, environ), 0);
  posix_spawn_file_actions_destroy(&actions);
  const pid_t holder = child.pid;
  const fs::path fd0 = fs::path("/proc") / std::to_string(holder) / "fd" / "0";
  ASSERT_TRUE(testsupport::wait_until([&] {
    std::error_code error;
    return fs::read_symlink(fd0, error).string() == held.slave_path();
  })) << "sleep did not start";
  int master = -1;
  int slave = -1;
  char free_path[256] = {};
  ASSERT_EQ(::openpty(&master, &slave, free_path, nullptr, nullptr), 0);
  ::close(slave);  // nobody holds it
  // A pipe held open with no writer: a listing that opened it would wait for ever.
  const fs::path fifo = folder_ / "fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const int pipe_end = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
  const std::string regular = (folder_ / "file").string();
  std::ofstream(regular) << "x";
  const std::vector<std::string> devices = {held.slave_path(), free_path, "/nonexistent/ttyUSB9", regular,
                                            "rfc2217://lab:2217", fifo.string()};
  for (std::size_t n = 0; n < devices.size(); ++n) serial::bind_device(static_cast<int>(n), devices[n]);

  const PortList list = list_ports();
  ASSERT_EQ(list.ports.size(), devices.size());
  const PortState states[] = {PortState::Held,       PortState::Free,    PortState::Absent,
                              PortState::NotADevice, PortState::Network, PortState::NotADevice};
  for (std::size_t n = 0; n < devices.size(); ++n) {
    EXPECT_EQ(list.ports[n].device, devices[n]);
    EXPECT_EQ(list.ports[n].state, states[n]) << devices[n];
  }
  ASSERT_EQ(list.ports[0].holders.size(), 1u);
  EXPECT_EQ(list.ports[0].holders[0].pid, holder);
  EXPECT_EQ(list.ports[0].holders[0].command, "sleep");

  char* text = nullptr;
  std::size_t size = 0;
  std::FILE* out = open_memstream(&text, &size);
  print_port_list(out, list);
  std::fclose(out);
  const std::string printed(text, size);
  std::free(text);
  EXPECT_NE(printed.find("COM1   " + held.slave_path()), std::string::npos) << printed;
  EXPECT_NE(printed.find("held by " + std::to_string(holder) + " (sleep)"), std::string::npos) << printed;
  EXPECT_NE(printed.find("COM5   rfc2217://lab:2217"), std::string::npos) << printed;
  ::close(pipe_end);
  ::close(master);
}

}  // namespace
