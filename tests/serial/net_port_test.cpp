// Network ports through the serial library: against a real ser2net serving a socat pty pair, and
// against a scripted Telnet server for what ser2net on a pty cannot show (modem lines, line errors,
// a paused server, malformed commands, refusals).
#include <arpa/inet.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "protocol/telnet.h"
#include "serial/devices.h"
#include "serial/failure_kind.h"
#include "serial/net_address.h"
#include "serial/net_connect.h"
#include "serial/net_ports.h"
#include "serial/ser.h"
#include "tests/serial/serial_guards.h"
#include "tests/support/ser2net_server.h"

namespace {

using namespace std::chrono_literals;
using testing::HasSubstr;

constexpr int kPort = 5;  // COM6

std::string every_byte(int rounds) {
  std::string bytes;
  for (int r = 0; r < rounds; ++r)
    for (int b = 0; b < 256; ++b) bytes += static_cast<char>(b);
  return bytes;
}

// What arrives on `port` within `timeout`, up to `want` bytes, waiting as the XMODEM engine does.
std::string read_port(int port, std::size_t want, std::chrono::milliseconds timeout = 10s) {
  std::string got;
  testsupport::wait_until([&] {
    char block[4096];
    if (SioWaitRx(port, -1, 50) == 1) {
      const int n = SioGets(port, block, sizeof block);
      if (n > 0) got.append(block, static_cast<std::size_t>(n));
    }
    return got.size() >= want;
  }, timeout);
  return got;
}

// Opens `port`, trying again while the server still lets a previous client go.
int open_within(int port, std::chrono::milliseconds timeout = 15s) {
  int rc = TORVEL_WIN32ERR;
  testsupport::wait_until([&] {
    rc = serial::open_port_waiting(port, 10000);
    if (rc != TORVEL_OK) std::this_thread::sleep_for(100ms);
    return rc == TORVEL_OK;
  }, timeout);
  return rc;
}

class NetPortTest : public ::testing::Test {
 protected:
  ~NetPortTest() override {
    SioDone(kPort);
    serial::net::drop_connection(kPort);
    serial::bind_device(kPort, "");
  }
  void bind(const std::string& address) {
    SioDone(kPort);
    serial::net::drop_connection(kPort);
    serial::bind_device(kPort, address);
  }
  serialtest::ComVariables variables;
  serialtest::DefaultsGuard defaults;
};

TEST(NetAddress, AddressesAreReadOrRefusedWithTheReason) {
  const struct {
    const char* text;
    const char* host;  // nullptr: refused
    const char* port_or_reason;
  } cases[] = {
      {"rfc2217://lab-host.example:2001", "lab-host.example", "2001"},
      {"TCP://10.0.0.5:4001", "10.0.0.5", "4001"},
      {"rfc2217://[::1]:7000", "::1", "7000"},
      {"rfc2217://[fe80::1%eth0]:7000", "fe80::1%eth0", "7000"},
      {"rfc2217://host", nullptr, "no port number"},
      {"rfc2217://:2001", nullptr, "no host"},
      {"rfc2217://host:0", nullptr, "port is not a number from 1 to 65535"},
      {"tcp://host:65536", nullptr, "port is not a number from 1 to 65535"},
      {"tcp://host:20a1", nullptr, "port is not a number"},
      {"rfc2217://::1:7000", nullptr, "an IPv6 address goes in brackets"},
      {"rfc2217://[::1:7000", nullptr, "no closing bracket"},
      {"rfc2217://[::1]7000", nullptr, "no port number"},
      {"rfc2217://ho st:1", nullptr, "not a host name"},
      {"tcp://[lab]:1", nullptr, "not an IPv6 address in brackets"},
      {"ssh://host:22", nullptr, "unknown scheme"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const serial::ParsedAddress parsed = serial::parse_net_address(c.text);
    if (c.host == nullptr) {
      EXPECT_FALSE(parsed.address);
      EXPECT_THAT(parsed.error, HasSubstr(c.port_or_reason));
      continue;
    }
    ASSERT_TRUE(parsed.address) << parsed.error;
    EXPECT_EQ(parsed.address->host, c.host);
    EXPECT_EQ(parsed.address->port, c.port_or_reason);
  }
  EXPECT_EQ(serial::address_text(*serial::parse_net_address("TCP://[::1]:7000").address), "tcp://[::1]:7000");
}

TEST_F(NetPortTest, BytesOfEveryValueCrossBothWaysThroughSer2net) {
  std::vector<std::string> hosts = {"127.0.0.1"};
  if (testsupport::Ser2net::ipv6_loopback()) hosts.push_back("::1");
  const std::string all = every_byte(4);
  for (const std::string& host : hosts) {
    testsupport::Ser2net server(host);
    for (const std::string& address : {server.rfc2217_address(), server.raw_address()}) {
      SCOPED_TRACE(address);
      bind(address);
      ASSERT_EQ(open_within(kPort), TORVEL_OK) << serial::open_failure(kPort);
      EXPECT_EQ(SioPuts(kPort, all.data(), static_cast<unsigned>(all.size())), static_cast<int>(all.size()));
      EXPECT_EQ(server.read(all.size()), all);
      server.write(all);
      EXPECT_EQ(read_port(kPort, all.size()), all);
    }
  }
}

TEST_F(NetPortTest, AClosedPortOpensAgainOnTheSameConnection) {
  testsupport::Ser2net server;
  bind(server.rfc2217_address());
  ASSERT_EQ(open_within(kPort), TORVEL_OK) << serial::open_failure(kPort);
  server.write("before");
  EXPECT_EQ(read_port(kPort, 6), "before");
  EXPECT_EQ(SioDone(kPort), 1);
  // No new connection: ser2net would refuse one until it has let the last go.
  ASSERT_EQ(SioReset(kPort, 2048, 2048), TORVEL_OK) << serial::open_failure(kPort);
  EXPECT_EQ(SioPuts(kPort, "after", 5), 5);
  EXPECT_EQ(server.read(5), "after");
}

TEST_F(NetPortTest, PortsThatCannotConnectSayWhy) {
  // A port nobody listens on: taken and let go again.
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in any{};
  any.sin_family = AF_INET;
  any.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof any;
  ::bind(fd, reinterpret_cast<sockaddr*>(&any), size);
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&any), &size);
  ::close(fd);
  const std::string closed = "rfc2217://127.0.0.1:" + std::to_string(ntohs(any.sin_port));

  const struct {
    std::string address;
    int error;
    const char* reason;
  } cases[] = {
      {"rfc2217://lab-host", EINVAL, "rfc2217://lab-host: no port number"},
      {closed, ECONNREFUSED, "connection refused"},
      {"tcp://no-such-host.invalid:4001", ENXIO, "cannot find host no-such-host.invalid"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.address);
    bind(c.address);
    EXPECT_EQ(serial::open_port_waiting(kPort, 30000), TORVEL_WIN32ERR);
    EXPECT_EQ(LastWinError, c.error);
    EXPECT_THAT(serial::open_failure(kPort), HasSubstr(c.reason));
  }
}

// ---- A scripted server ----

std::string describe(const protocol::TelnetEvent& e) {
  std::string text = e.kind == protocol::TelnetEventKind::Negotiation ? "N" + std::to_string(e.code) + "," : "S";
  text += std::to_string(e.option);
  for (const std::uint8_t b : e.payload) text += " " + std::to_string(b);
  return text;
}

// One connection's server: sends `opening` when a client connects (and hangs up at once when
// `hangs_up`), then what the test tells it; reports every setting back as taken; keeps the data
// and the commands (as "N253,44" or "S44 1 0 0 37 128") the client sent.
class ScriptedServer {
 public:
  explicit ScriptedServer(std::string opening, bool hangs_up = false)
      : opening_(std::move(opening)), hangs_up_(hangs_up) {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof a;
    ::bind(listener_, reinterpret_cast<sockaddr*>(&a), size);
    ::listen(listener_, 4);
    ::getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &size);
    port_ = ntohs(a.sin_port);
    thread_ = std::thread([this] { run(); });
  }
  ~ScriptedServer() {
    stop_ = true;
    thread_.join();
    if (client_ >= 0) ::close(client_);
    ::close(listener_);
  }
  std::string address() const { return "rfc2217://127.0.0.1:" + std::to_string(port_); }
  void send(const std::string& bytes) {
    testsupport::wait_until([&] { return client_ >= 0; }, 10s);
    ::send(client_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
  }
  void hang_up() { ::shutdown(client_, SHUT_RDWR); }
  std::string data_now() {
    const std::lock_guard lock(mutex_);
    return data_;
  }
  bool received(const std::string& command) {
    return testsupport::wait_until([&] {
      const std::lock_guard lock(mutex_);
      return std::find(commands_.begin(), commands_.end(), command) != commands_.end();
    }, 5s);
  }
  std::string data(std::size_t want) {
    testsupport::wait_until([&] {
      const std::lock_guard lock(mutex_);
      return data_.size() >= want;
    }, 5s);
    const std::lock_guard lock(mutex_);
    return data_;
  }

 private:
  void run() {
    while (!stop_) {
      pollfd p[2] = {{listener_, POLLIN, 0}, {client_, POLLIN, 0}};
      if (::poll(p, client_ >= 0 ? 2 : 1, 20) <= 0) continue;
      if (p[0].revents & POLLIN) accept_client();
      if (client_ >= 0 && (p[1].revents & POLLIN)) read_client();
    }
  }
  void accept_client() {
    const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) return;
    ::send(fd, opening_.data(), opening_.size(), MSG_NOSIGNAL);
    if (hangs_up_) ::shutdown(fd, SHUT_RDWR);
    client_ = fd;
  }
  void read_client() {
    std::uint8_t in[4096];
    const ssize_t n = ::recv(client_, in, sizeof in, MSG_DONTWAIT);
    if (n <= 0) return;
    std::span<const std::uint8_t> rest(in, static_cast<std::size_t>(n));
    std::uint8_t out[4096];
    while (!rest.empty()) {
      const protocol::TelnetStep step = protocol::telnet_decode(decoder_, rest, out);
      rest = rest.subspan(step.used);
      const std::lock_guard lock(mutex_);
      data_.append(reinterpret_cast<const char*>(out), step.written);
      if (step.event.kind == protocol::TelnetEventKind::None) continue;
      commands_.push_back(describe(step.event));
      const auto& payload = step.event.payload;
      // Settings (SET-BAUDRATE .. SET-CONTROL) are reported back as taken, as ser2net does.
      if (step.event.kind == protocol::TelnetEventKind::Subnegotiation && !payload.empty() && payload[0] >= 1 &&
          payload[0] <= 5) {
        const auto report = protocol::com_port_command(static_cast<std::uint8_t>(payload[0] + 100), payload.subspan(1));
        ::send(client_, report.view().data(), report.size, MSG_NOSIGNAL);
      }
    }
  }

  std::string opening_;
  bool hangs_up_;
  int listener_ = -1;
  std::atomic<int> client_{-1};
  int port_ = 0;
  std::atomic<bool> stop_{false};
  protocol::TelnetDecoder decoder_;
  std::mutex mutex_;
  std::vector<std::string> commands_;
  std::string data_;
  std::thread thread_;
};

const std::string kTakesComPort = "\xFF\xFD\x2C";  // IAC DO COM-PORT-OPTION

std::string report(std::uint8_t code, std::string value) {
  return std::string("\xFF\xFA\x2C") + static_cast<char>(code) + value + "\xFF\xF0";
}

TEST_F(NetPortTest, SettingsLinesBreakAndPurgeGoToTheServerAsRfc2217Commands) {
  ScriptedServer server(kTakesComPort);
  bind(server.address());
  ASSERT_EQ(open_within(kPort), TORVEL_OK) << serial::open_failure(kPort);
  EXPECT_EQ(SioBaud(kPort, 250000), 1);
  SioParms(kPort, MarkParity, One5StopBits, WordLength7);
  SioFlow(kPort, 'S');
  EXPECT_EQ(SioDTR(kPort, 'S'), 1);
  EXPECT_EQ(SioRTS(kPort, 'C'), 1);
  EXPECT_EQ(SioBrkSig(kPort, 'A'), 1);
  EXPECT_EQ(SioRxClear(kPort), 0);
  EXPECT_EQ(SioPuts(kPort, "a\xFF" "b", 3), 3);
  for (const char* command : {"N251,44", "S44 1 0 3 208 144", "S44 2 7", "S44 3 4", "S44 4 3", "S44 5 2",
                              "S44 5 8", "S44 5 12", "S44 5 5", "S44 12 1", "S44 11 255", "S44 0"})
    EXPECT_TRUE(server.received(command)) << command;
  EXPECT_EQ(server.data(3), "a\xFF" "b");
}

TEST_F(NetPortTest, NotificationsFeedTheInputLinesAndLineErrorsAndCarryNoData) {
  ScriptedServer server(kTakesComPort);
  bind(server.address());
  ASSERT_EQ(open_within(kPort), TORVEL_OK) << serial::open_failure(kPort);
  EXPECT_EQ(SioCTS(kPort), 0) << "no state reported yet";
  server.send(report(107, "\xB0") + report(106, "\x0C") + "\xFF\xF1");  // CTS, DSR, DCD; parity, framing; NOP
  EXPECT_EQ(SioWaitRx(kPort, -1, 300), 0) << "nothing for the caller to read";
  EXPECT_TRUE(testsupport::wait_until([] { return SioCTS(kPort) == MS_CTS_ON; }, 5s));
  EXPECT_EQ(SioDSR(kPort), MS_DSR_ON);
  EXPECT_EQ(SioDCD(kPort), MS_RLSD_ON);
  EXPECT_EQ(SioRI(kPort), 0);
  EXPECT_EQ(SioStatus(kPort, 0xFF), static_cast<int>(CE_RXPARITY | CE_FRAME));
  EXPECT_EQ(SioStatus(kPort, 0xFF), 0);
  server.send("x");
  EXPECT_EQ(read_port(kPort, 1), "x");
}

TEST_F(NetPortTest, MalformedCommandsAreCountedAndNeverBecomeData) {
  const std::string garbage = report(101, "\x01") +            // a rate of one byte
                              "\xFF\xFA\x2C" + std::string(300, 'g') + "\xFF\xF0" +  // too long
                              "\xFF\xFA\xFF\xF0" + "\xFF" "Q";  // empty; no command
  ScriptedServer server(kTakesComPort + garbage + "ok");
  bind(server.address());
  ASSERT_EQ(open_within(kPort), TORVEL_OK) << serial::open_failure(kPort);
  EXPECT_EQ(read_port(kPort, 2), "ok");
  EXPECT_THAT(serial::network_note(kPort), HasSubstr("4 malformed Telnet commands from the server ignored"));
}

TEST_F(NetPortTest, AServerWithoutComPortOptionCarriesDataAndKeepsTheSettingsHere) {
  const struct {
    const char* opening;
    const char* note;
  } cases[] = {
      {"\xFF\xFE\x2C", "the server refused RFC 2217's COM-PORT-OPTION"},  // IAC DONT COM-PORT-OPTION
      {"", "the server did not answer RFC 2217's COM-PORT-OPTION"},         // within 3 s
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.note);
    ScriptedServer server(c.opening);
    bind(server.address());
    ASSERT_EQ(serial::open_port_waiting(kPort, 10000), TORVEL_OK) << serial::open_failure(kPort);
    EXPECT_EQ(SioBaud(kPort, 115200), 1);
    EXPECT_EQ(SioDTR(kPort, 'S'), 0) << "the line cannot be reached";
    EXPECT_EQ(SioCTS(kPort), 0);
    EXPECT_THAT(serial::network_note(kPort), HasSubstr(c.note));
    EXPECT_EQ(SioPuts(kPort, "\xFF", 1), 1);
    EXPECT_EQ(server.data(1), "\xFF");
  }
}

TEST_F(NetPortTest, APausedServerHoldsWritesUntilItResumesOrTheWriteBoundPasses) {
  ScriptedServer server(kTakesComPort);
  bind(server.address());
  ASSERT_EQ(open_within(kPort), TORVEL_OK) << serial::open_failure(kPort);
  server.send(report(108, ""));  // FLOWCONTROL-SUSPEND
  EXPECT_TRUE(testsupport::wait_until([] { SioCTS(kPort); return SioPutc(kPort, 'p') == TORVEL_WIN32ERR; }, 10s));
  EXPECT_EQ(LastWinError, ETIMEDOUT);
  server.send(report(109, ""));  // FLOWCONTROL-RESUME
  EXPECT_EQ(SioPutc(kPort, 'r'), 0);
  EXPECT_TRUE(testsupport::wait_until([&] { return server.data_now().ends_with('r'); }, 5s)) << server.data_now();
}

TEST_F(NetPortTest, AServerThatClosesSaysWhyBeforeOrAfterTheOpen) {
  {
    ScriptedServer refusing(kTakesComPort + "Port already in use\r\n", true);
    bind(refusing.address());
    EXPECT_EQ(serial::open_port_waiting(kPort, 10000), TORVEL_WIN32ERR);
    EXPECT_THAT(serial::open_failure(kPort), HasSubstr("the server closed the connection: \"Port already in use\""));
  }
  ScriptedServer server(kTakesComPort);
  bind(server.address());
  ASSERT_EQ(open_within(kPort), TORVEL_OK) << serial::open_failure(kPort);
  server.send("last");
  server.hang_up();
  EXPECT_EQ(read_port(kPort, 4), "last");
  char byte = 0;
  EXPECT_TRUE(testsupport::wait_until([&] { return SioGets(kPort, &byte, 1) == TORVEL_WIN32ERR; }, 5s));
  EXPECT_EQ(serial::failure_kind(LastWinError), serial::FailureKind::Gone);
  EXPECT_THAT(serial::open_failure(kPort), HasSubstr(server.address() + ": the server closed the connection"));
}

}  // namespace
