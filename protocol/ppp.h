// PPP in HDLC-like framing (RFC 1662): flag 0x7E, escape 0x7D followed by the octet exclusive-or 0x20.
//
// The encoder escapes every octet below 0x20 (all control characters, the full async map), 0x7D and
// 0x7E, and puts a flag at each end. The decoder cuts the byte stream at flags: the bytes collected
// since the previous flag, the opening flag counted, are a frame when there are at least two;
// back-to-back flags make none. A frame is unescaped as it is delivered; an escape octet at its very
// end has nothing to apply to and is dropped.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

#include "protocol/frame_collector.h"

namespace protocol {

inline constexpr std::uint8_t kPppFlag = 0x7E;
inline constexpr std::uint8_t kPppEscape = 0x7D;
inline constexpr std::uint8_t kPppEscapeXor = 0x20;

constexpr std::size_t ppp_frame_capacity(std::size_t payload) { return 2 * payload + 2; }

// Writes the frame of `payload` into `out`; returns its length, or 0 when `out` is too small.
std::size_t ppp_encode(std::span<const std::uint8_t> payload, std::span<std::uint8_t> out);

// Unescapes `escaped` into `out` (which needs as many octets); returns the octets written. `out` may
// begin where `escaped` does: no octet is written ahead of the one read.
std::size_t ppp_unescape(std::span<const std::uint8_t> escaped, std::span<std::uint8_t> out);

// Decodes `input`, calling on_frame(std::span<const std::uint8_t>) with each completed frame,
// unescaped into `scratch` (room for as many octets as `frame` holds; it may be the frame's own).
template <class OnFrame>
void ppp_decode(std::span<const std::uint8_t> input, FrameCollector& frame, std::span<std::uint8_t> scratch,
                OnFrame&& on_frame) {
  while (!input.empty()) {
    // The octets up to the next flag join the frame in one copy.
    const void* flag = std::memchr(input.data(), kPppFlag, input.size());
    const std::size_t run = flag == nullptr ? input.size()
                                            : static_cast<std::size_t>(static_cast<const std::uint8_t*>(flag) -
                                                                       input.data());
    frame.append(input.first(run));
    if (flag == nullptr) return;
    if (frame.count >= 2) on_frame(scratch.first(ppp_unescape(frame.collected(), scratch)));
    frame.restart_with(kPppFlag);
    input = input.subspan(run + 1);
  }
}

}  // namespace protocol
