// Frames built and read back: known frames of each layout, the decoders' delimiting rules, and round
// trips through every split of the received stream.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <random>
#include <vector>

#include "protocol/hdlc.h"
#include "protocol/icni.h"
#include "protocol/ppp.h"

namespace {

using Octets = std::vector<std::uint8_t>;

Octets hdlc(const Octets& payload) {
  Octets out(protocol::hdlc_frame_capacity(payload.size()));
  out.resize(protocol::hdlc_encode(payload, out));
  return out;
}

Octets ppp(const Octets& payload) {
  Octets out(protocol::ppp_frame_capacity(payload.size()));
  out.resize(protocol::ppp_encode(payload, out));
  return out;
}

// A receiver of one kind, its state kept between the blocks it is fed.
struct Receiver {
  std::array<std::uint8_t, 6912> buffer{};
  std::array<std::uint8_t, 6912> scratch{};
  protocol::FrameCollector frame{buffer, 0};
  protocol::HdlcReceiver bits;
  int icni_length = protocol::kIcniLengthUnknown;
  std::vector<Octets> frames;

  void hdlc(const Octets& in) {
    protocol::hdlc_decode(in, bits, frame, [&](auto f) { frames.emplace_back(f.begin(), f.end()); });
  }
  void ppp(const Octets& in) {
    protocol::ppp_decode(in, frame, scratch, [&](auto f) { frames.emplace_back(f.begin(), f.end()); });
  }
  void icni(const Octets& in) {
    protocol::icni_decode(in, frame, icni_length, [&](auto f) { frames.emplace_back(f.begin(), f.end()); });
  }
};

TEST(Framing, EncodersBuildTheKnownFrames) {
  // Payloads are message and check octets, the check least significant octet first.
  EXPECT_EQ(hdlc({0x01, 0x02, 0x8D, 0x35}), (Octets{0x7E, 0x01, 0x02, 0x8D, 0x35, 0x7E}));
  EXPECT_EQ(hdlc({0x01, 0x02, 0x92, 0xAF, 0xEA, 0x08}),
            (Octets{0x7E, 0x01, 0x02, 0x92, 0x4F, 0xD5, 0x11, 0xFC, 0xFE}));
  EXPECT_EQ(hdlc({0x7E, 0x7E}), (Octets{0x7E, 0xBE, 0x7C, 0xF9, 0xFD}));
  EXPECT_EQ(hdlc({0x1F, 0x1F}), (Octets{0x7E, 0x1F, 0x3E, 0xF8, 0xFD}));
  EXPECT_EQ(hdlc({0xFF, 0xFF}), (Octets{0x7E, 0xDF, 0xF7, 0xF5, 0xFB}));
  EXPECT_EQ(ppp({0x01, 0x02, 0x8D, 0x35}), (Octets{0x7E, 0x7D, 0x21, 0x7D, 0x22, 0x8D, 0x35, 0x7E}));
  EXPECT_EQ(ppp({0x7E, 0x7E}), (Octets{0x7E, 0x7D, 0x5E, 0x7D, 0x5E, 0x7E}));
  EXPECT_EQ(ppp({0x41, 0x80, 0xC1}), (Octets{0x7E, 0x41, 0x80, 0xC1, 0x7E}));

  Octets message{0x05, 0x09, 0xAA, 0xBB};
  protocol::icni_set_length(message);
  EXPECT_EQ(message, (Octets{0x05, 0x02, 0xAA, 0xBB}));
  Octets single{0x05};
  protocol::icni_set_length(single);
  EXPECT_EQ(single, Octets{0x05});

  std::array<std::uint8_t, 3> small{};
  EXPECT_EQ(protocol::hdlc_encode(Octets{1, 2, 3}, small), 0u);
  EXPECT_EQ(protocol::ppp_encode(Octets{1, 2}, small), 0u);
  EXPECT_EQ(protocol::icni_encode(Octets{1, 2, 3}, small), 0u);
}

TEST(Framing, DecodersDelimitAsTheyShould) {
  Receiver p;
  p.ppp({0x7E, 0xFF, 0x7D, 0x23, 0xC0, 0x21, 0x7E, 0x7E, 0x7E, 0x01, 0x7E, 0x02, 0x7D, 0x7E});
  EXPECT_THAT(p.frames, testing::ElementsAre(Octets{0x7E, 0xFF, 0x03, 0xC0, 0x21}, Octets{0x7E, 0x01},
                                             Octets{0x7E, 0x02}));

  Receiver h;
  h.hdlc({0x7E, 0x41, 0x42, 0x7E});
  EXPECT_THAT(h.frames, testing::ElementsAre(Octets{0x7E, 0x41, 0x42}));

  // A 0 after 22 ones closes a flag (22 modulo 16 is 6); after 21 it is an inserted zero.
  for (const int ones : {21, 22}) {
    Receiver r;
    r.hdlc({0x7E, 0x41, 0x42});
    std::vector<int> bits(static_cast<std::size_t>(ones), 1);
    bits.push_back(0);
    while (bits.size() % 8 != 0) bits.push_back(1);
    Octets tail(bits.size() / 8);
    for (std::size_t i = 0; i < bits.size(); ++i) tail[i / 8] |= static_cast<std::uint8_t>(bits[i] << (i % 8));
    r.hdlc(tail);
    EXPECT_EQ(r.frames.size(), ones == 22 ? 1u : 0u) << ones << " ones";
  }

  Receiver i;
  i.icni({0xEE, 0x05, 0x02, 0xAA, 0xEE, 0x05, 0x02, 0xAA, 0xBB, 0x16, 0xEE, 0x05, 0x00, 0x16});
  i.icni({0xEE, 0x05, 0x02, 0xAA, 0xBB, 0xE6, 0x7E});
  EXPECT_THAT(i.frames, testing::ElementsAre(Octets{0xEE, 0x05, 0x02, 0xAA, 0xBB, 0x16},
                                             Octets{0xEE, 0x05, 0x00, 0x16},
                                             Octets{0xEE, 0x05, 0x02, 0xAA, 0xBB, 0xE6}));
  EXPECT_EQ(i.frame.count, 1);  // the 7E is collected on its own: the shown frame is gone from it

  // After a frame, no octet before the next EE is taken as a length: the 00 here closes nothing.
  // 259 such octets make a frame of their own, without the frame shown before them.
  Receiver after;
  after.icni({0xEE, 0x05, 0x00, 0x16, 0x01, 0x02, 0x00, 0x03, 0x04});
  ASSERT_EQ(after.frames.size(), 1u);
  after.icni(Octets(254, 0x22));
  ASSERT_EQ(after.frames.size(), 2u);
  Octets run = {0x01, 0x02, 0x00, 0x03, 0x04};
  run.resize(259, 0x22);
  EXPECT_EQ(after.frames[1], run);
}

TEST(Framing, RandomPayloadsComeBackWhereverTheStreamIsSplit) {
  std::mt19937 random(20261207);
  for (int round = 0; round < 200; ++round) {
    Octets payload(random() % 40);
    for (auto& octet : payload) octet = static_cast<std::uint8_t>(random() % 4 == 0 ? 0xFF : random());
    Octets expected{0x7E};
    expected.insert(expected.end(), payload.begin(), payload.end());
    const bool use_hdlc = round % 2 == 0;
    const Octets frame = use_hdlc ? hdlc(payload) : ppp(payload);
    const std::size_t split = random() % (frame.size() + 1);
    Receiver r;
    const Octets first(frame.begin(), frame.begin() + static_cast<long>(split));
    const Octets second(frame.begin() + static_cast<long>(split), frame.end());
    for (const Octets* part : {&first, &second}) use_hdlc ? r.hdlc(*part) : r.ppp(*part);
    // A payload too short to make a frame of two octets shows nothing.
    if (payload.empty()) {
      EXPECT_TRUE(r.frames.empty());
      continue;
    }
    ASSERT_EQ(r.frames.size(), 1u) << (use_hdlc ? "hdlc" : "ppp") << " round " << round;
    EXPECT_EQ(r.frames[0], expected);
  }
}

TEST(Framing, HdlcTakesWholeOctetsExactlyAsBitByBit) {
  std::mt19937 random(1979);
  // Octets rich in runs of 1s (flags, stuffing, aborts) among plain ones, in blocks of any size.
  const std::uint8_t kRich[] = {0x7E, 0xFF, 0x1F, 0xF8, 0x3F, 0xFC, 0x7F, 0xFE, 0x00, 0x0F, 0xF0};
  for (int round = 0; round < 300; ++round) {
    Octets stream(random() % 600);
    for (auto& octet : stream)
      octet = random() % 3 == 0 ? kRich[random() % sizeof kRich] : static_cast<std::uint8_t>(random());
    Receiver fast;
    Receiver bitwise;
    for (std::size_t at = 0; at < stream.size();) {
      const std::size_t count = std::min<std::size_t>(1 + random() % 64, stream.size() - at);
      const std::span<const std::uint8_t> block(stream.data() + at, count);
      protocol::hdlc_decode(block, fast.bits, fast.frame, [&](auto f) { fast.frames.emplace_back(f.begin(), f.end()); });
      protocol::hdlc_decode_bitwise(block, bitwise.bits, bitwise.frame,
                                    [&](auto f) { bitwise.frames.emplace_back(f.begin(), f.end()); });
      at += count;
    }
    ASSERT_EQ(fast.frames, bitwise.frames) << "round " << round;
    EXPECT_EQ(fast.frame.count, bitwise.frame.count);
    EXPECT_EQ(Octets(fast.buffer.begin(), fast.buffer.begin() + fast.frame.count),
              Octets(bitwise.buffer.begin(), bitwise.buffer.begin() + bitwise.frame.count));
    EXPECT_EQ(fast.bits.bitcnt, bitwise.bits.bitcnt);
    EXPECT_EQ(fast.bits.onecnt, bitwise.bits.onecnt);
    // Only the bits placed so far are state; what lies below them is never read.
    const int placed = fast.bits.bitcnt;
    EXPECT_EQ(fast.bits.byte >> (8 - placed), bitwise.bits.byte >> (8 - placed));
  }
}

}  // namespace
