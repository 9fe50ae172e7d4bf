// quillport-extcap: its answers to Wireshark, and live captures by tshark from a pty, with the
// port opened by the extcap itself, with the port held by another process that serves its tap,
// and with the port held by Quillport itself.
#include <fcntl.h>
#include <signal.h>
#include <poll.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "capture/capture_reader.h"
#include "capture/tap_server.h"
#include "capture/tap_socket.h"
#include "serial/devices.h"
#include "serial/ser.h"
#include "tests/capture/programs.h"
#include "tests/support/pty_pair.h"

namespace {

using capture::Direction;
using capturetest::As;
using capturetest::Program;
using capturetest::Scratch;

const std::string kExtcapDir = QUILLPORT_EXTCAP_DIR;
const std::string kExtcap = kExtcapDir + "/quillport-extcap";

struct Answer {
  std::vector<std::string> args;
  std::vector<std::string> env;
  int status;
  std::string says;  // in its output, stdout and stderr together
};

TEST(Extcap, AnswersWiresharksQuestionsAndRefusesWhatItCannotDo) {
  Scratch scratch;
  const std::string com3 = "QUILLPORT_COM3=/dev/null";
  const std::vector<Answer> answers = {
      {{"--extcap-interfaces", "--extcap-version=4.0"}, {com3},
       0, "interface {value=quillport-COM3}{display=Quillport COM3: /dev/null}\n"},
      {{"--extcap-version"}, {}, 0, "extcap {version="},
      {{"--extcap-interface", "quillport-COM3", "--extcap-dlts"}, {com3}, 0, "dlt {number=250}{name=RTAC_SERIAL}"},
      {{"--extcap-interface=quillport-COM3", "--extcap-config"}, {com3}, 0, "{call=--parity}{display=Parity}"},
      {{"--extcap-interface", "quillport-COM3", "--extcap-capture-filter", "port 80"}, {com3}, 0, "no capture filter"},
      {{"--extcap-interface", "quillport-COM3", "--capture", "--fifo", scratch.file("fifo"), "--speed", "fast"},
       {com3}, 2, "--speed takes a rate from 50 to 16000000"},
      {{"--extcap-interface", "quillport-COM9", "--extcap-dlts"}, {com3}, 2, "no interface quillport-COM9"},
      {{"--capture", "--extcap-interface", "quillport-COM3"}, {com3}, 2, "--capture needs --fifo"},
      {{"--frobnicate"}, {}, 2, "unknown option --frobnicate"},
      {{}, {}, 2, "usage: quillport-extcap"},
      {{"--extcap-interface", "quillport-COM4", "--capture", "--fifo", scratch.file("fifo")},
       {"QUILLPORT_COM4=/nonexistent/ttyUSB7"}, 1, "/nonexistent/ttyUSB7: No such file or directory"},
  };
  for (const Answer& a : answers) {
    std::vector<std::string> argv = {kExtcap};
    argv.insert(argv.end(), a.args.begin(), a.args.end());
    SCOPED_TRACE(argv.size() > 1 ? argv[1] : "no arguments");
    Program program(argv, a.env, scratch, As::Us);
    EXPECT_EQ(program.wait(std::chrono::seconds(30)), a.status);
    const std::string said = program.out() + program.err();
    EXPECT_NE(said.find(a.says), std::string::npos) << said;
  }
}

TEST(Extcap, ListsTheTapOfADeviceNoComNumberStandsFor) {
  Scratch scratch;
  const std::string runtime = scratch.file("runtime");
  ASSERT_EQ(::mkdir(runtime.c_str(), 0700), 0);
  const char* old = std::getenv("XDG_RUNTIME_DIR");
  const std::string saved = old ? old : "";
  ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
  std::string error;
  const auto server = capture::TapServer::open("/tmp/comA", error);
  saved.empty() ? ::unsetenv("XDG_RUNTIME_DIR") : ::setenv("XDG_RUNTIME_DIR", saved.c_str(), 1);
  ASSERT_TRUE(server) << error;
  std::string out;
  ASSERT_EQ(capturetest::run({kExtcap, "--extcap-interfaces"}, {"XDG_RUNTIME_DIR=" + runtime}, scratch, out, As::Us), 0);
  EXPECT_NE(out.find("interface {value=quillport-tap-%2Ftmp%2FcomA}{display=Quillport tap: /tmp/comA}\n"),
            std::string::npos)
      << out;
}

std::int64_t now_us() {
  using namespace std::chrono;
  return duration_cast<microseconds>(system_clock::now().time_since_epoch()).count();
}

// tshark capturing quillport-COM1 for 3 s into `file`.
std::unique_ptr<Program> start_tshark(const Scratch& scratch, const std::string& device, const std::string& file,
                                      const std::string& runtime) {
  return std::make_unique<Program>(
      std::vector<std::string>{"tshark", "-i", "quillport-COM1", "-a", "duration:3", "-w", file, "-q"},
      std::vector<std::string>{"WIRESHARK_EXTCAP_DIR=" + kExtcapDir, "QUILLPORT_COM1=" + device, "HOME=" + scratch.path(),
                               "XDG_RUNTIME_DIR=" + runtime},
      scratch);
}

// What the far end of the line sends during the capture: text, every octet value, more text.
std::string write_bursts(testsupport::PtyPair& pty) {
  std::string all;
  std::string octets;
  for (int b = 0; b < 256; ++b) octets += static_cast<char>(b);
  for (const std::string& burst : {std::string("first burst\r\n"), octets, std::string("last\r\n")}) {
    pty.write(burst);
    all += burst;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return all;
}

struct Captured {
  std::string received;
  std::string sent;
  std::vector<std::string> comments;
  std::string interface_name;
  std::string description;
};

Captured read_capture(const std::string& path) {
  capture::CaptureReader reader;
  Captured captured;
  EXPECT_TRUE(reader.open(path)) << reader.error();
  while (std::optional<capture::CaptureRecord> r = reader.next()) {
    EXPECT_EQ(r->link_type, capture::kLinkRtacSerial);
    std::string& into = r->direction == Direction::Sent ? captured.sent : captured.received;
    into.append(r->bytes.begin(), r->bytes.end());
    if (!r->comment.empty()) captured.comments.push_back(r->comment);
  }
  EXPECT_EQ(reader.error(), "");
  if (!reader.interfaces().empty()) {
    captured.interface_name = reader.interfaces()[0].name;
    captured.description = reader.interfaces()[0].description;
  }
  return captured;
}

TEST(Extcap, TsharkCapturesAPortTheExtcapOpensItself) {
  Scratch scratch;
  testsupport::PtyPair pty;
  capturetest::give_to_ordinary_user(pty.slave_path());
  const std::string file = scratch.file("direct.pcapng");
  const auto tshark = start_tshark(scratch, pty.slave_path(), file, scratch.path());
  ASSERT_TRUE(testsupport::wait_until([&] { return capturetest::opened_elsewhere(pty.slave_path()); },
                                      std::chrono::seconds(30)))
      << tshark->err();
  const std::string written = write_bursts(pty);
  ASSERT_EQ(tshark->wait(std::chrono::seconds(60)), 0) << tshark->err();
  const Captured captured = read_capture(file);
  EXPECT_EQ(captured.received, written);
  EXPECT_EQ(captured.sent, "");
  EXPECT_EQ(captured.interface_name, "COM1");
  EXPECT_EQ(captured.description, pty.slave_path() + ", 9600 8N1, no flow control");
}

// A stand-in for Quillport in a process of its own (run as the user tshark runs as): it holds the
// port, serves its tap, answers "ok\n" to each block it reads and serves both directions. It
// writes 'R' on `report` once it serves and 'C' once a client came, and ends when `control` has a byte.
int hold_and_serve(const std::string& device, const std::string& runtime, int report, int control) {
  if (capturetest::running_as_root()) {
    const passwd* nobody = ::getpwnam("nobody");
    if (nobody == nullptr || ::setgid(nobody->pw_gid) != 0 || ::setuid(nobody->pw_uid) != 0) return 2;
  }
  ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
  serial::bind_device(0, device);
  if (SioReset(0, 2048, 2048) != TORVEL_OK) return 3;
  std::string error;
  const auto server = capture::TapServer::open(device, error);
  if (!server) return 4;
  server->set_description("Port A: " + device + ", 9600 8N1, no flow control");
  if (::write(report, "R", 1) != 1) return 5;
  bool told = false;
  char buffer[4096];
  const std::string ok = "ok\n";
  const std::span<const std::uint8_t> ok_bytes(reinterpret_cast<const std::uint8_t*>(ok.data()), ok.size());
  while (SioWaitRx(0, control, 20) != TORVEL_ABORTED) {
    server->serve();
    if (!told && server->clients() > 0) {
      server->comment(now_us(), "Port A set to 9600 8N1");
      told = ::write(report, "C", 1) == 1;
    }
    const int n = SioGets(0, buffer, sizeof buffer);
    if (n <= 0) continue;
    const std::span<const std::uint8_t> bytes(reinterpret_cast<const std::uint8_t*>(buffer), static_cast<std::size_t>(n));
    server->block({Direction::Received, now_us(), bytes, 0});
    SioPuts(0, ok.data(), static_cast<unsigned>(ok.size()));
    server->block({Direction::Sent, now_us(), ok_bytes, capture::lines::kDtr});
  }
  SioDone(0);
  return 0;
}

bool wait_for_report(int fd, char expected) {
  pollfd wait{fd, POLLIN, 0};
  char got = 0;
  return ::poll(&wait, 1, 30000) == 1 && ::read(fd, &got, 1) == 1 && got == expected;
}

TEST(Extcap, TsharkCapturesAPortAnotherProcessHoldsThroughItsTap) {
  Scratch scratch;
  testsupport::PtyPair pty;
  capturetest::give_to_ordinary_user(pty.slave_path());
  const std::string runtime = scratch.file("runtime");
  ASSERT_EQ(::mkdir(runtime.c_str(), 0700), 0);
  capturetest::give_to_ordinary_user(runtime);
  int report[2];
  int control[2];
  ASSERT_EQ(::pipe2(report, O_CLOEXEC), 0);
  ASSERT_EQ(::pipe2(control, O_CLOEXEC), 0);
  const pid_t holder = ::fork();
  if (holder == 0) ::_exit(hold_and_serve(pty.slave_path(), runtime, report[1], control[0]));
  ::close(control[0]);
  ASSERT_TRUE(wait_for_report(report[0], 'R'));

  const std::string file = scratch.file("tap.pcapng");
  const auto tshark = start_tshark(scratch, pty.slave_path(), file, runtime);
  ASSERT_TRUE(wait_for_report(report[0], 'C')) << tshark->err();
  const std::string written = write_bursts(pty);
  ASSERT_EQ(tshark->wait(std::chrono::seconds(60)), 0) << tshark->err();
  ASSERT_EQ(::write(control[1], "E", 1), 1);
  ::close(control[1]);
  int status = -1;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (::waitpid(holder, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) ::kill(holder, SIGKILL);
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ::close(report[0]);
  ::close(report[1]);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;

  const Captured captured = read_capture(file);
  EXPECT_EQ(captured.received, written);
  ASSERT_FALSE(captured.sent.empty());
  EXPECT_EQ(captured.sent.find_first_not_of("ok\n"), std::string::npos) << captured.sent;
  EXPECT_EQ(captured.comments, std::vector<std::string>{"Port A set to 9600 8N1"});
  EXPECT_EQ(captured.interface_name, "COM1");
  EXPECT_EQ(captured.description, "Port A: " + pty.slave_path() + ", 9600 8N1, no flow control");
}

// True when the program serving the tap socket at `path` has accepted a client: its end of the
// connection is listed under the socket's path, connected (state 03).
bool tap_has_client(const std::string& path) {
  std::ifstream sockets("/proc/net/unix");
  for (std::string line; std::getline(sockets, line);) {
    const std::vector<std::string> fields = capturetest::split(line, ' ');
    if (fields.size() >= 8 && fields.back() == path && fields[5] == "03") return true;
  }
  return false;
}

// The process running the program at `path` with `argument` on its command line, 0 when none.
pid_t process_of(const std::string& path, const std::string& argument) {
  namespace fs = std::filesystem;
  std::error_code ec;
  for (fs::directory_iterator process("/proc", ec), end; !ec && process != end; process.increment(ec)) {
    std::error_code link_ec;
    if (fs::read_symlink(process->path() / "exe", link_ec) != fs::path(path)) continue;
    if (capturetest::read_file((process->path() / "cmdline").string()).find(argument) == std::string::npos) continue;
    return static_cast<pid_t>(std::stol(process->path().filename().string()));
  }
  return 0;
}

// Quillport on the offscreen platform, run as tshark is, holds the port; tshark captures it for
// 3 s through the extcap, which finds the port held and reads Quillport's tap instead.
TEST(Extcap, TsharkCapturesThroughTheTapOfTheRunningProgram) {
#ifndef QUILLPORT_PROGRAM
  GTEST_SKIP() << "built without the window";
#else
  Scratch scratch;
  testsupport::PtyPair pty;
  capturetest::give_to_ordinary_user(pty.slave_path());
  const std::string runtime = scratch.file("runtime");
  ASSERT_EQ(::mkdir(runtime.c_str(), 0700), 0);
  capturetest::give_to_ordinary_user(runtime);
  Program quillport({QUILLPORT_PROGRAM, "--port-a", pty.slave_path(), "--no-config"},
                    {"QT_QPA_PLATFORM=offscreen", "XDG_RUNTIME_DIR=" + runtime, "HOME=" + scratch.path()}, scratch);
  const std::string tap = runtime + "/quillport/" + capture::tap_socket_name(pty.slave_path());
  ASSERT_TRUE(testsupport::wait_until([&] { return ::access(tap.c_str(), F_OK) == 0; }, std::chrono::seconds(30)))
      << quillport.err();

  const std::string file = scratch.file("live.pcapng");
  const auto tshark = start_tshark(scratch, pty.slave_path(), file, runtime);
  ASSERT_TRUE(testsupport::wait_until([&] { return tap_has_client(tap); }, std::chrono::seconds(30))) << tshark->err();
  const std::string written = write_bursts(pty);
  ASSERT_EQ(tshark->wait(std::chrono::seconds(60)), 0) << tshark->err();

  // SIGTERM ends the program the way Exit does: its tap goes with it.
  const pid_t program = process_of(QUILLPORT_PROGRAM, pty.slave_path());
  ASSERT_GT(program, 0);
  ::kill(program, SIGTERM);
  EXPECT_EQ(quillport.wait(std::chrono::seconds(30)), 0) << quillport.err();
  EXPECT_NE(::access(tap.c_str(), F_OK), 0);

  const Captured captured = read_capture(file);
  EXPECT_EQ(captured.received, written);
  EXPECT_EQ(captured.sent, "");
  EXPECT_EQ(captured.interface_name, "COM1");
  EXPECT_EQ(captured.description, "Port A: " + pty.slave_path() + ", 9600 8N1, no flow control");
#endif
}

}  // namespace
