// The engine's services: CRC, message ring, parameters, acquire and release.
#include <cstdio>
#include <string>
#include <string_view>

#include <gtest/gtest.h>

#include "xmodem/serxydrv.h"
#include "xmodem/xy_packet.h"

namespace {

struct Acquired {
  explicit Acquired(int number) : port(number) { xyAcquire(port); }
  ~Acquired() { xyRelease(port); }
  int port;
};

TEST(XmodemServices, CrcIsCrc16Xmodem) {
  const struct {
    std::string_view text;
    std::uint16_t crc;
  } cases[] = {{"abc", 0x9DD6}, {"123456789", 0x31C3}, {"", 0x0000}};
  for (const auto& c : cases) {
    std::uint16_t crc = 0;
    for (const char byte : c.text) crc = UpdateCRC(crc, static_cast<std::uint8_t>(byte));
    EXPECT_EQ(crc, c.crc) << c.text;
  }
}

TEST(XmodemServices, ParametersAndTheirLimits) {
  Acquired engine(3);
  const struct {
    int port, parameter, value, result;
  } sets[] = {
      {3, XY_SET_NAK_RATE, 0, -101},  {3, XY_SET_NAK_RATE, 11, -101}, {3, XY_SET_NAK_RATE, 10, 10},
      {9, XY_SET_NAK_RATE, 4, 4},     {3, XY_SET_EOF_CHAR, 0xFF, -1}, {3, XY_SET_EOF_CHAR, 0x1A, 26},
      {3, 99, 1, -1},
  };
  for (const auto& s : sets)
    EXPECT_EQ(xySetParameter(s.port, s.parameter, s.value), s.result) << s.parameter << " " << s.value;

  const struct {
    int port, parameter, result;
  } gets[] = {
      {3, XY_GET_VERSION, 0x0233}, {7, XY_GET_VERSION, 0x0233}, {7, XY_GET_STATE, -315},
      {3, XY_GET_STATE, XY_IDLE},  {3, 40, -1},                 {7, 40, -315},
      {7, XY_GET_DEBUG, 0},
  };
  for (const auto& g : gets)
    EXPECT_EQ(xyGetParameter(g.port, g.parameter), g.result) << g.port << " " << g.parameter;
}

TEST(XmodemServices, OnePortAtATime) {
  EXPECT_EQ(xyRelease(0), XY_NOT_ACTIVE_ERROR);
  EXPECT_EQ(xyAcquire(2), 0);
  EXPECT_EQ(xyAcquire(4), XY_ALREADY_ACTIVE_ERROR);
  EXPECT_EQ(xyStartTx(4, "x", 0, 0), XY_NOT_ACTIVE_ERROR);
  EXPECT_EQ(xyStartRx(4, "x", 'C', 0), XY_NOT_ACTIVE_ERROR);
  EXPECT_EQ(xyDriver(4), XY_NOT_ACTIVE_ERROR);
  EXPECT_EQ(xyDriver(2), 0);  // idle
  EXPECT_EQ(xyRelease(9), 0);  // whatever is acquired
  EXPECT_EQ(xyAcquire(4), 0);
  EXPECT_EQ(xyRelease(4), 0);
}

TEST(XmodemServices, TheRingKeepsTheLatestTwelveMessages) {
  Acquired engine(3);
  char text[MESSAGE_SIZE];
  while (xyGetMessage(text, sizeof text)) {
  }
  xyDebug(DEBUG_ON);
  for (int i = 1; i <= 13; ++i) {
    char name[8];
    std::snprintf(name, sizeof name, "f%d", i);
    xyStartTx(3, name, 0, 0);
  }
  xyDebug(DEBUG_OFF);
  std::string first;
  int count = 0;
  while (xyGetMessage(text, sizeof text)) {
    if (count++ == 0) first = text;
  }
  EXPECT_EQ(count, 12);
  EXPECT_EQ(first, "COM4:xyStartTx:FileName='f2' OneKflag=0 BatchFlag=0");
  // A message longer than a slot is cut to it, and a short buffer gets what fits.
  xyDebug(DEBUG_ON);
  xyStartTx(3, std::string(120, 'n').c_str(), 0, 0);
  xyDebug(DEBUG_OFF);
  char small[8];
  ASSERT_EQ(xyGetMessage(small, sizeof small), 1);
  EXPECT_EQ(std::string_view(small, sizeof small), "COM4:xyS");
  EXPECT_EQ(xyGetMessage(text, sizeof text), 0);
}

}  // namespace
