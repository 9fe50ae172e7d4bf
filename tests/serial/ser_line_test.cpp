// Line parameters, flow control and output lines.
//
// A pty keeps the rate, PARODD, CMSPAR, CSTOPB and the flow settings but forces 8 data bits and
// clears PARENB on every change, so those two are checked on the encoding the library applies.
#include <gtest/gtest.h>

#include "serial/line_in_effect.h"
#include "serial/ser_linux_termios.h"
#include "tests/serial/line_readback.h"
#include "tests/serial/serial_guards.h"

namespace {

using namespace serialtest;

TEST(SerialLine, RatesReachTheDevice) {
  OpenPty line(0);
  ASSERT_EQ(line.rc, TORVEL_OK);
  const struct {
    unsigned code, rate;
  } cases[] = {{Baud9600, 9600}, {0, 110}, {Baud115200, 115200}, {14400, 14400}, {10, 10}};
  for (const auto& c : cases) {
    EXPECT_EQ(SioBaud(0, c.code), 1) << c.code;
    EXPECT_EQ(read_line(line.fd).rate, c.rate) << c.code;
  }
}

TEST(SerialLine, ParityStopAndDataBits) {
  OpenPty line(0);
  ASSERT_EQ(line.rc, TORVEL_OK);
  const struct {
    int parity, stop_bits, data_bits;
    bool parenb, parodd, cmspar;
  } cases[] = {
      {NoParity, OneStopBit, 8, false, false, false},
      {OddParity, TwoStopBits, 7, true, true, false},
      {EvenParity, OneStopBit, 6, true, false, false},
      {MarkParity, TwoStopBits, 5, true, true, true},
      {SpaceParity, OneStopBit, 8, true, false, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.parity);
    EXPECT_EQ(SioParms(0, c.parity, c.stop_bits, c.data_bits), TORVEL_OK);
    const auto device = read_line(line.fd);
    EXPECT_EQ(device.parodd, c.parodd);
    EXPECT_EQ(device.cmspar, c.cmspar);
    EXPECT_EQ(device.cstopb, c.stop_bits == TwoStopBits);

    serial::platform::DeviceControl dcb;
    dcb.Parity = c.parity;
    dcb.StopBits = c.stop_bits;
    dcb.ByteSize = c.data_bits;
    const auto applied = encoded(dcb);
    EXPECT_EQ(applied.parenb, c.parenb);
    EXPECT_EQ(applied.parodd, c.parodd);
    EXPECT_EQ(applied.cmspar, c.cmspar);
    EXPECT_EQ(applied.data_bits, c.data_bits);
    EXPECT_TRUE(applied.raw);
  }
}

TEST(SerialLine, SettingsTheLineCannotTakeLeaveTheDeviceAsItWas) {
  OpenPty line(0);
  ASSERT_EQ(line.rc, TORVEL_OK);
  const struct {
    int parity, stop_bits, data_bits;
  } refused[] = {{NoParity, One5StopBits, 8}, {NoParity, 3, 8},          {5, OneStopBit, 8},
                 {-1, OneStopBit, 8},         {NoParity, OneStopBit, 4}, {NoParity, OneStopBit, 9}};
  for (const auto& c : refused) {
    SCOPED_TRACE(testing::Message() << c.parity << "/" << c.stop_bits << "/" << c.data_bits);
    ASSERT_EQ(SioParms(0, MarkParity, TwoStopBits, 8), TORVEL_OK);
    ASSERT_EQ(SioBaud(0, 14400), 1);
    EXPECT_EQ(SioParms(0, c.parity, c.stop_bits, c.data_bits), TORVEL_OK);
    const auto got = read_line(line.fd);
    EXPECT_TRUE(got.parodd && got.cmspar && got.cstopb);
    // The record keeps what it was given, so no other change can be applied until it is mended.
    EXPECT_EQ(SioBaud(0, Baud9600), 0);
    EXPECT_EQ(read_line(line.fd).rate, 14400u);
  }
}

TEST(SerialLine, FlowControlReachesTheDevice) {
  OpenPty line(0);
  ASSERT_EQ(line.rc, TORVEL_OK);
  const struct {
    char cmd;
    bool crtscts, ixon, ixoff;
  } steps[] = {{'H', true, false, false},
               {'X', true, false, false},  // unknown: record unchanged
               {'S', false, true, true},
               {'N', false, false, false}};
  for (const auto& s : steps) {
    EXPECT_EQ(SioFlow(0, s.cmd), TORVEL_OK);
    const auto got = read_line(line.fd);
    EXPECT_EQ(got.crtscts, s.crtscts) << s.cmd;
    EXPECT_EQ(got.ixon, s.ixon) << s.cmd;
    EXPECT_EQ(got.ixoff, s.ixoff) << s.cmd;
    EXPECT_EQ(got.vstart, 0x11);
    EXPECT_EQ(got.vstop, 0x13);
  }
}

// Read back, a line shows what the device keeps: a pty keeps the rate, the stop bits and the flow
// but runs 8 data bits without parity whatever was asked. What a real UART keeps is read through
// the same decoding, checked here against the encoding for every format.
TEST(SerialLine, TheLineInEffectIsReadBackFromTheDevice) {
  OpenPty line(0);
  ASSERT_EQ(line.rc, TORVEL_OK);
  const struct {
    int parity, stop_bits, data_bits;
    char flow;
  } cases[] = {{EvenParity, OneStopBit, 7, 'N'}, {OddParity, TwoStopBits, 5, 'H'}, {MarkParity, OneStopBit, 6, 'S'},
               {SpaceParity, TwoStopBits, 8, 'N'}, {NoParity, OneStopBit, 8, 'H'}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.parity << "/" << c.stop_bits << "/" << c.data_bits << c.flow);
    ASSERT_EQ(SioBaud(0, 31250), 1);
    ASSERT_EQ(SioParms(0, c.parity, c.stop_bits, c.data_bits), TORVEL_OK);
    ASSERT_EQ(SioFlow(0, c.flow), TORVEL_OK);
    serial::LineInEffect in_effect;
    ASSERT_TRUE(serial::line_in_effect(0, in_effect));
    EXPECT_EQ(in_effect.rate, 31250u);
    EXPECT_EQ(in_effect.data_bits, 8);
    EXPECT_EQ(in_effect.parity, NoParity);
    EXPECT_EQ(in_effect.stop_bits, c.stop_bits);
    EXPECT_EQ(in_effect.rts_cts, c.flow == 'H');
    EXPECT_EQ(in_effect.xon_xoff, c.flow == 'S');

    serial::platform::DeviceControl asked;
    asked.Parity = c.parity;
    asked.StopBits = c.stop_bits;
    asked.ByteSize = c.data_bits;
    termios2 t{};
    ASSERT_EQ(serial::platform::encode_line(asked, t), 0);
    const serial::platform::DeviceControl kept = serial::platform::decode_line(t);
    EXPECT_EQ(kept.Parity, c.parity);
    EXPECT_EQ(kept.StopBits, c.stop_bits);
    EXPECT_EQ(kept.ByteSize, c.data_bits);
  }
  serial::LineInEffect none;
  EXPECT_FALSE(serial::line_in_effect(1, none));
}

TEST(SerialLine, OutputLinesAreRememberedWhereThePtyHasNone) {
  OpenPty line(0);
  ASSERT_EQ(line.rc, TORVEL_OK);
  // A pty refuses the modem-line calls: setting fails, reading gives the remembered choice, the
  // input lines read as off.
  EXPECT_EQ(SioDTR(0, 'S'), 0);
  EXPECT_EQ(SioRTS(0, 'S'), 0);
  EXPECT_EQ(SioDTR(0, 'R'), 1);
  EXPECT_EQ(SioRTS(0, 'R'), 2);
  EXPECT_EQ(SioCTS(0) | SioDSR(0) | SioRI(0) | SioDCD(0) | SioStatus(0, 0xFF), 0);
  EXPECT_EQ(SioDTR(0, 'X'), TORVEL_RANGE);
  EXPECT_EQ(SioBrkSig(0, 'x'), TORVEL_RANGE);

  // The remembered lines outlive a close and reopen.
  ASSERT_EQ(SioDone(0), 1);
  ASSERT_EQ(SioReset(0, 2048, 2048), TORVEL_OK);
  EXPECT_EQ(SioDTR(0, 'R'), 1);
  EXPECT_EQ(SioDTR(0, 'C'), 0);
  EXPECT_EQ(SioDTR(0, 'R'), 0);
  EXPECT_EQ(SioRTS(0, 'R'), 2);
  SioRTS(0, 'C');
}

}  // namespace
