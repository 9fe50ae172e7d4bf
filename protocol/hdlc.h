// HDLC framing on a synchronous bit stream: flags 0x7E, zero-bit insertion after five 1 bits, each
// octet sent least significant bit first.
//
// The encoder writes the opening flag whole, the payload's bits with a 0 inserted after every run of
// five 1s (the last check octet included), the eight bits of the closing flag without insertion,
// packed least significant bit first; the last octet's missing high bits are 1s (line idle).
//
// The decoder reads the received bytes as one continuous bit stream. A 0 after six 1s closes a flag:
// the octets collected since the previous flag (at least two, the opening 0x7E counted) are a frame,
// and a new frame starts with 0x7E. A 0 after five 1s is an inserted zero and is dropped. The run of
// 1s is counted modulo 16; while it stands at 8 or more (an abort, or an idle line), completed octets
// are not kept. The bits of a closing flag before its final 0 are assembled like data, so they end a
// frame with one more octet only when the frame's own bit count is not a multiple of 8.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "protocol/frame_collector.h"

namespace protocol {

inline constexpr std::uint8_t kHdlcFlag = 0x7E;

// Frame octets needed for `payload` octets at most: one inserted bit per five payload bits.
constexpr std::size_t hdlc_frame_capacity(std::size_t payload) {
  const std::size_t bits = payload * 8 + payload * 8 / 5 + 8;
  return 1 + (bits + 7) / 8;
}

// Writes the frame of `payload` into `out`; returns its length, or 0 when `out` is too small.
std::size_t hdlc_encode(std::span<const std::uint8_t> payload, std::span<std::uint8_t> out);

// What the bit-level decoder keeps between blocks.
struct HdlcReceiver {
  int bitcnt = 0;         // bits placed in `byte`, 0..7
  std::uint8_t byte = 0;  // the octet being assembled
  int onecnt = 0;         // consecutive 1 bits, modulo 16
};

namespace detail {

// Runs of 1 bits in an octet read least significant bit first: from its first bit, the longest
// anywhere, and up to its last bit.
struct OneRuns {
  std::uint8_t lead;
  std::uint8_t longest;
  std::uint8_t trail;
};

constexpr std::array<OneRuns, 256> make_one_runs() {
  std::array<OneRuns, 256> table{};
  for (unsigned octet = 0; octet < 256; ++octet) {
    int run = 0;
    int longest = 0;
    int lead = -1;
    for (int i = 0; i < 8; ++i) {
      run = (octet >> i) & 1 ? run + 1 : 0;
      if (run == 0 && lead < 0) lead = i;
      longest = run > longest ? run : longest;
    }
    table[octet] = {static_cast<std::uint8_t>(lead < 0 ? 8 : lead), static_cast<std::uint8_t>(longest),
                    static_cast<std::uint8_t>(run)};
  }
  return table;
}

inline constexpr std::array<OneRuns, 256> kOneRuns = make_one_runs();

// The working values of the decoder while a block is read.
struct HdlcWork {
  int bitcnt;
  unsigned byte;
  int onecnt;
};

// One received octet, bit by bit: the rules as stated above.
template <class OnFrame>
void hdlc_bits(std::uint8_t in, HdlcWork& w, FrameCollector& frame, OnFrame& on_frame) {
  for (int i = 0; i < 8; ++i) {
    unsigned value = 0;
    if ((in >> i) & 1) {
      w.onecnt = (w.onecnt + 1) & 15;
      value = 0x80;
    } else {
      const int run = w.onecnt;
      w.onecnt = 0;
      if (run == 6) {
        if (frame.count >= 2) on_frame(frame.collected());
        w.byte = 0;
        w.bitcnt = 0;
        frame.restart_with(kHdlcFlag);
        continue;
      }
      if (run == 5) continue;
    }
    w.byte = (w.byte >> 1) | value;
    if (++w.bitcnt == 8) {
      if (w.onecnt < 8) frame.add(static_cast<std::uint8_t>(w.byte));
      w.byte = 0;
      w.bitcnt = 0;
    }
  }
}

// Values outside their ranges (never set by the decoder) are brought back into them.
inline HdlcWork load(const HdlcReceiver& rx) { return {rx.bitcnt & 7, rx.byte, rx.onecnt & 15}; }
inline void store(const HdlcWork& w, HdlcReceiver& rx) {
  rx.bitcnt = w.bitcnt;
  rx.byte = static_cast<std::uint8_t>(w.byte);
  rx.onecnt = w.onecnt;
}

}  // namespace detail

// Decodes `input`, calling on_frame(std::span<const std::uint8_t>) for each frame completed.
template <class OnFrame>
void hdlc_decode(std::span<const std::uint8_t> input, HdlcReceiver& rx, FrameCollector& frame,
                 OnFrame&& on_frame) {
  detail::HdlcWork w = detail::load(rx);
  for (const std::uint8_t in : input) {
    const detail::OneRuns runs = detail::kOneRuns[in];
    if (w.onecnt + runs.lead <= 4 && runs.longest <= 4) {
      // No run of five 1s can form in this octet, so it holds no flag, inserted zero or abort: its
      // eight bits complete the octet being assembled and begin the next one.
      frame.add(static_cast<std::uint8_t>((w.byte >> (8 - w.bitcnt)) | (unsigned{in} << w.bitcnt)));
      w.byte = in & (0xFF00u >> w.bitcnt) & 0xFFu;
      w.onecnt = runs.trail;
    } else {
      detail::hdlc_bits(in, w, frame, on_frame);
    }
  }
  detail::store(w, rx);
}

// The same decoder taking every bit one at a time: the plain statement of the rules, which the
// faster hdlc_decode must match (tests and fuzzing compare the two).
template <class OnFrame>
void hdlc_decode_bitwise(std::span<const std::uint8_t> input, HdlcReceiver& rx, FrameCollector& frame,
                         OnFrame&& on_frame) {
  detail::HdlcWork w = detail::load(rx);
  for (const std::uint8_t in : input) detail::hdlc_bits(in, w, frame, on_frame);
  detail::store(w, rx);
}

}  // namespace protocol
