// Modem lines and break need real devices: a pty has neither. These run only when
// QUILLPORT_TEST_PORT_A and QUILLPORT_TEST_PORT_B name two devices joined by a null-modem cable
// (TX->RX, DTR->DSR+DCD, RTS->CTS).
#include <cstdlib>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "tests/serial/serial_guards.h"

namespace {

using testsupport::wait_until;

constexpr int A = 0;
constexpr int B = 1;

class LoopedPair : public testing::Test {
 protected:
  void SetUp() override {
    const char* a = std::getenv("QUILLPORT_TEST_PORT_A");
    const char* b = std::getenv("QUILLPORT_TEST_PORT_B");
    if (a == nullptr || b == nullptr || *a == '\0' || *b == '\0')
      GTEST_SKIP() << "needs QUILLPORT_TEST_PORT_A and QUILLPORT_TEST_PORT_B: two serial devices "
                      "joined by a null-modem cable";
    port_a_.emplace(A, a);
    port_b_.emplace(B, b);
    ASSERT_EQ(SioReset(A, 2048, 2048), TORVEL_OK) << serial::open_failure(A);
    ASSERT_EQ(SioReset(B, 2048, 2048), TORVEL_OK) << serial::open_failure(B);
    SioRxClear(B);
    SioStatus(B, 0xFF);
  }

  std::optional<serialtest::BoundPort> port_a_;
  std::optional<serialtest::BoundPort> port_b_;
};

TEST_F(LoopedPair, BytesAndBreakCrossTheCable) {
  ASSERT_EQ(SioBaud(A, Baud115200), 1);
  ASSERT_EQ(SioBaud(B, Baud115200), 1);
  ASSERT_EQ(SioPuts(A, "loop", 4), 4);
  std::string got;
  char buffer[16];
  wait_until([&] {
    const int n = SioGets(B, buffer, sizeof buffer);
    if (n > 0) got.append(buffer, static_cast<std::size_t>(n));
    return got.size() >= 4;
  });
  EXPECT_EQ(got, "loop");

  ASSERT_EQ(SioBrkSig(A, 'A'), 1);
  const bool seen = wait_until([] { return SioStatus(B, CE_BREAK) == static_cast<int>(CE_BREAK); });
  EXPECT_EQ(SioBrkSig(A, 'C'), 1);
  EXPECT_TRUE(seen);
}

TEST_F(LoopedPair, OutputLinesDriveTheFarInputLines) {
  // A port opens, and opens again, with both lines lowered, whatever the kernel does on open.
  EXPECT_TRUE(wait_until([] { return SioDSR(B) == 0 && SioDCD(B) == 0 && SioCTS(B) == 0; }));
  SioDone(A);
  ASSERT_EQ(SioReset(A, 2048, 2048), TORVEL_OK);
  EXPECT_TRUE(wait_until([] { return SioDSR(B) == 0 && SioCTS(B) == 0; }));

  EXPECT_EQ(SioDTR(A, 'S'), 1);
  EXPECT_TRUE(wait_until([] { return SioDSR(B) == MS_DSR_ON && SioDCD(B) == MS_RLSD_ON; }));
  EXPECT_EQ(SioRTS(A, 'S'), 1);
  EXPECT_TRUE(wait_until([] { return SioCTS(B) == MS_CTS_ON; }));

  // Applying new settings keeps the lines the library holds raised.
  SioParms(A, EvenParity, TwoStopBits, WordLength7);
  SioFlow(A, 'N');
  EXPECT_TRUE(wait_until([] { return SioDSR(B) == MS_DSR_ON && SioCTS(B) == MS_CTS_ON; }));

  EXPECT_EQ(SioDTR(A, 'C'), 1);
  EXPECT_EQ(SioRTS(A, 'C'), 1);
  EXPECT_TRUE(wait_until([] { return SioDSR(B) == 0 && SioDCD(B) == 0 && SioCTS(B) == 0; }));
}

}  // namespace
