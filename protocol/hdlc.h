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

// Decodes `input`, calling on_frame(std::span<const std::uint8_t>) for each frame completed.
template <class OnFrame>
void hdlc_decode(std::span<const std::uint8_t> input, HdlcReceiver& rx, FrameCollector& frame,
                 OnFrame&& on_frame) {
  // Values outside their ranges (never set by this decoder) are brought back into them.
  int bitcnt = rx.bitcnt & 7;
  unsigned byte = rx.byte;
  int onecnt = rx.onecnt & 15;
  for (const std::uint8_t in : input) {
    for (int i = 0; i < 8; ++i) {
      unsigned value = 0;
      if ((in >> i) & 1) {
        onecnt = (onecnt + 1) & 15;
        value = 0x80;
      } else {
        const int run = onecnt;
        onecnt = 0;
        if (run == 6) {
          if (frame.count >= 2) on_frame(frame.collected());
          byte = 0;
          bitcnt = 0;
          frame.restart_with(kHdlcFlag);
          continue;
        }
        if (run == 5) continue;
      }
      byte = (byte >> 1) | value;
      if (++bitcnt == 8) {
        if (onecnt < 8) frame.add(static_cast<std::uint8_t>(byte));
        byte = 0;
        bitcnt = 0;
      }
    }
  }
  rx.bitcnt = bitcnt;
  rx.byte = static_cast<std::uint8_t>(byte);
  rx.onecnt = onecnt;
}

}  // namespace protocol
