// The tap: what a client receives, who may connect, a client that does not keep up, and the
// names of the sockets.
#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "capture/tap_client.h"
#include "capture/tap_protocol.h"
#include "capture/tap_server.h"
#include "capture/tap_socket.h"

namespace {

using capture::Direction;
using capture::TapClient;
using capture::TapKind;
using capture::TapMessage;
using capture::TapServer;

const std::string kDevice = "/dev/ttyQuillportTest0";

std::span<const std::uint8_t> bytes_of(const std::string& text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

std::string text_of(const TapMessage& message) { return {message.body.begin(), message.body.end()}; }

// Each test gets a runtime folder of its own, as XDG_RUNTIME_DIR.
class Tap : public ::testing::Test {
 protected:
  Tap() {
    if (const char* old = std::getenv("XDG_RUNTIME_DIR")) saved_ = old;
    char pattern[] = "/tmp/quillport-tap-XXXXXX";
    runtime_ = ::mkdtemp(pattern);
    ::setenv("XDG_RUNTIME_DIR", runtime_.c_str(), 1);
  }
  ~Tap() override {
    std::filesystem::remove_all(runtime_);
    if (saved_.empty())
      ::unsetenv("XDG_RUNTIME_DIR");
    else
      ::setenv("XDG_RUNTIME_DIR", saved_.c_str(), 1);
  }

  std::unique_ptr<TapServer> serve(const std::string& device = kDevice) {
    std::string error;
    std::unique_ptr<TapServer> server = TapServer::open(device, error);
    EXPECT_TRUE(server) << error;
    return server;
  }

  std::unique_ptr<TapClient> connect(const std::string& device = kDevice) {
    std::string error;
    std::unique_ptr<TapClient> client = TapClient::connect(device, error);
    EXPECT_TRUE(client) << error;
    return client;
  }

  // Serves and reads until `count` messages have come (or 10 s pass).
  static std::vector<TapMessage> receive(TapServer& server, TapClient& client, std::size_t count) {
    std::vector<TapMessage> messages;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (messages.size() < count && std::chrono::steady_clock::now() < deadline) {
      server.serve();
      if (client.receive(messages, 10) != TapClient::State::Open) break;
    }
    return messages;
  }

  std::string runtime_;
  std::string saved_;
};

TEST_F(Tap, AClientGetsTheHelloThenBlocksAndCommentsInOrderUntilTheServerEnds) {
  auto server = serve();
  server->set_description("Port A: /dev/ttyQuillportTest0, 9600 8N1");
  auto client = connect();
  server->serve();
  server->block({Direction::Received, 1000, bytes_of("abc"), capture::lines::kCts});
  server->block({Direction::Sent, 2000, bytes_of("ok\r\n"), capture::lines::kDtr});
  server->comment(3000, "Port A set to 19200");
  const std::vector<TapMessage> messages = receive(*server, *client, 4);
  ASSERT_EQ(messages.size(), 4u);
  EXPECT_EQ(messages[0].kind, TapKind::Hello);
  EXPECT_EQ(capture::hello_description(messages[0]), "Port A: /dev/ttyQuillportTest0, 9600 8N1");
  EXPECT_EQ(messages[1].kind, TapKind::Data);
  EXPECT_EQ(messages[1].direction, Direction::Received);
  EXPECT_EQ(messages[1].time_us, 1000);
  EXPECT_EQ(messages[1].lines, capture::lines::kCts);
  EXPECT_EQ(text_of(messages[1]), "abc");
  EXPECT_EQ(messages[2].direction, Direction::Sent);
  EXPECT_EQ(text_of(messages[2]), "ok\r\n");
  EXPECT_EQ(messages[3].kind, TapKind::Comment);
  EXPECT_EQ(text_of(messages[3]), "Port A set to 19200");

  const std::string path = server->path();
  server.reset();
  std::vector<TapMessage> more;
  EXPECT_EQ(client->receive(more, 5000), TapClient::State::Closed);
  EXPECT_FALSE(std::filesystem::exists(path));
}

TEST_F(Tap, TheFolderAndTheSocketAreTheUsersAloneAndAnOpenFolderIsRefused) {
  auto server = serve();
  struct stat dir {};
  struct stat socket {};
  ASSERT_EQ(::stat(capture::tap_directory().c_str(), &dir), 0);
  ASSERT_EQ(::stat(server->path().c_str(), &socket), 0);
  EXPECT_EQ(dir.st_mode & 0777, 0700u);
  EXPECT_TRUE(S_ISSOCK(socket.st_mode));
  EXPECT_EQ(socket.st_mode & 0777, 0600u);

  ::chmod(capture::tap_directory().c_str(), 0755);
  std::string error;
  EXPECT_FALSE(TapServer::open("/dev/ttyOther", error));
  EXPECT_EQ(error, capture::tap_directory() + " is open to other users (mode 0755)");
  EXPECT_FALSE(TapClient::connect(kDevice, error));
  EXPECT_EQ(error, capture::tap_directory() + " is open to other users (mode 0755)");
}

// The socket opened to everyone, so only the server's own check stands between another user and it.
TEST_F(Tap, AnotherUsersClientIsHungUpOn) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to run a client as another user";
  const passwd* nobody = ::getpwnam("nobody");
  ASSERT_NE(nobody, nullptr);
  auto server = serve();
  for (const std::string& path : {runtime_, capture::tap_directory()}) ::chmod(path.c_str(), 0711);
  ::chmod(server->path().c_str(), 0666);
  const uid_t uid = nobody->pw_uid;
  const gid_t gid = nobody->pw_gid;
  const std::string path = server->path();
  const pid_t child = ::fork();
  if (child == 0) {
    // Exit 0 when the server hangs up at once, 1 when it did not, 2 when the test went wrong.
    if (::setgid(gid) != 0 || ::setuid(uid) != 0) ::_exit(2);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) ::_exit(2);
    char byte = 0;
    ::_exit(::recv(fd, &byte, 1, 0) == 0 ? 0 : 1);
  }
  int status = -1;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (::waitpid(child, &status, WNOHANG) == 0 && std::chrono::steady_clock::now() < deadline) {
    server->serve();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(server->refused(), 1u);
  EXPECT_EQ(server->clients(), 0u);
}

TEST_F(Tap, AClientThatStopsReadingIsSkippedAndToldWhatItMissed) {
  auto server = serve();
  auto client = connect();
  server->serve();
  const std::vector<std::uint8_t> block(8192, 0x55);
  constexpr int kBlocks = 600;  // 4.8 MB: far more than the socket and the 1 MiB queue hold
  for (int i = 0; i < kBlocks; ++i) server->block({Direction::Received, i, block, 0});
  ASSERT_EQ(server->clients(), 1u);

  // The client catches up; the next block comes after a Lost message saying what it missed.
  std::vector<TapMessage> messages;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (server->waiting() > 0 && std::chrono::steady_clock::now() < deadline) {
    server->serve();
    client->receive(messages, 10);
  }
  server->block({Direction::Received, kBlocks, bytes_of("end"), 0});
  while ((messages.empty() || text_of(messages.back()) != "end") && std::chrono::steady_clock::now() < deadline) {
    server->serve();
    client->receive(messages, 10);
  }
  ASSERT_GE(messages.size(), 3u);
  ASSERT_EQ(text_of(messages.back()), "end");
  const TapMessage lost = messages[messages.size() - 2];
  ASSERT_EQ(lost.kind, TapKind::Lost);
  messages.resize(messages.size() - 2);

  std::uint64_t data = 0;
  for (const TapMessage& m : messages) data += m.kind == TapKind::Data ? m.body.size() : 0;
  EXPECT_GT(capture::lost_blocks(lost), 0u);
  EXPECT_EQ(data + capture::lost_bytes(lost), std::uint64_t{kBlocks} * block.size());
  EXPECT_EQ(data / block.size() + capture::lost_blocks(lost), std::uint64_t{kBlocks});
}

TEST_F(Tap, AStaleSocketIsReplacedButALiveServerIsNot) {
  std::string error;
  ASSERT_TRUE(capture::check_private_directory(capture::tap_directory(), true).empty());
  const int stale = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, capture::tap_socket_path(kDevice).c_str(), sizeof address.sun_path - 1);
  ASSERT_EQ(::bind(stale, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ::close(stale);  // left behind, as by a program that crashed

  auto server = serve();
  ASSERT_TRUE(server);
  EXPECT_FALSE(TapServer::open(kDevice, error));
  EXPECT_EQ(error, server->path() + ": another program serves a tap for " + kDevice);
}

TEST_F(Tap, SocketNamesStandForTheirDeviceAndAreListed) {
  const std::string link = runtime_ + "/by-id-link";
  std::filesystem::create_symlink("/dev/null", link);
  struct Case {
    std::string device;
    std::string name;
    std::string listed_as;
  };
  const std::vector<Case> cases = {
      {"/dev/ttyUSB0", "%2Fdev%2FttyUSB0.tap", "/dev/ttyUSB0"},
      {link, "%2Fdev%2Fnull.tap", "/dev/null"},  // a link and its device meet
      {"tcp://bench_1:4001", "tcp%3A%2F%2Fbench_1%3A4001.tap", "tcp://bench_1:4001"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.device);
    EXPECT_EQ(capture::tap_socket_name(c.device), c.name);
    EXPECT_EQ(capture::device_of_tap_name(c.name), c.listed_as);
  }
  const std::string long_device = "/dev/serial/by-id/" + std::string(200, 'x');
  const std::string hashed = capture::tap_socket_name(long_device);
  EXPECT_EQ(hashed.front(), '#');
  EXPECT_LT(capture::tap_socket_path(long_device).size(), sizeof(sockaddr_un{}.sun_path));
  EXPECT_FALSE(capture::device_of_tap_name(hashed));
  EXPECT_FALSE(capture::device_of_tap_name("%2Fdev%2.tap"));

  auto first = serve("/dev/ttyUSB0");
  auto second = serve(long_device);
  EXPECT_EQ(capture::tapped_devices(), std::vector<std::string>{"/dev/ttyUSB0"});
  EXPECT_TRUE(capture::tap_exists(long_device));
}

TEST(TapDecoder, MessagesComeWholeHoweverTheStreamIsCutAndABrokenStreamStops) {
  std::vector<std::uint8_t> stream;
  capture::append_tap_hello(stream, "Port B");
  capture::append_tap_message(stream, TapKind::Data, Direction::Sent, 3, -5, bytes_of("xyz"));
  capture::append_tap_lost(stream, 7, 12, 3456);
  for (const std::size_t piece : {std::size_t{1}, std::size_t{5}, stream.size()}) {
    SCOPED_TRACE(piece);
    capture::TapDecoder decoder;
    std::vector<TapMessage> messages;
    for (std::size_t at = 0; at < stream.size(); at += piece)
      ASSERT_TRUE(decoder.feed(std::span(stream).subspan(at, std::min(piece, stream.size() - at)), messages));
    ASSERT_EQ(messages.size(), 3u);
    EXPECT_EQ(capture::hello_description(messages[0]), "Port B");
    EXPECT_EQ(messages[1].time_us, -5);
    EXPECT_EQ(messages[1].lines, 3);
    EXPECT_EQ(text_of(messages[1]), "xyz");
    EXPECT_EQ(capture::lost_blocks(messages[2]), 12u);
    EXPECT_EQ(capture::lost_bytes(messages[2]), 3456u);
  }
  const std::vector<std::vector<std::uint8_t>> broken = {
      {0xFF, 0xFF, 0xFF, 0x7F, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},  // 2 GB
      {0, 0, 0, 0, 9, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},              // no such kind
      {0, 0, 0, 0, 2, 7, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},              // no such direction
  };
  for (const std::vector<std::uint8_t>& bytes : broken) {
    capture::TapDecoder decoder;
    std::vector<TapMessage> messages;
    EXPECT_FALSE(decoder.feed(bytes, messages));
    EXPECT_FALSE(decoder.feed(stream, messages));
    EXPECT_TRUE(messages.empty());
    EXPECT_NE(decoder.error(), "");
  }
}

}  // namespace
