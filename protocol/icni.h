// ICNI framing: a start octet 0xEE, the message whose second octet is the length L of what follows
// it, and the check value. No escaping: an 0xEE anywhere starts a new frame.
//
// The decoder collects from each 0xEE; the third octet collected is the length, and the frame is
// complete after L + 4 octets (start, first octet, length, L payload octets, one check octet).
// After a frame the length is unknown again (255), and octets that follow are collected behind the
// shown frame until the next 0xEE, so 259 of them make a frame as well.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "protocol/frame_collector.h"

namespace protocol {

inline constexpr std::uint8_t kIcniStart = 0xEE;
inline constexpr int kIcniLengthUnknown = 255;

// Replaces the second octet with the number of octets after the first two (modulo 256); a message
// of fewer than two octets is left as it is.
void icni_set_length(std::span<std::uint8_t> message);

constexpr std::size_t icni_frame_capacity(std::size_t payload) { return payload + 1; }

// Writes 0xEE and `payload` into `out`; returns the length, or 0 when `out` is too small.
std::size_t icni_encode(std::span<const std::uint8_t> payload, std::span<std::uint8_t> out);

// Decodes `input`, calling on_frame(std::span<const std::uint8_t>) for each frame completed;
// `length` is the expected length octet kept between blocks.
template <class OnFrame>
void icni_decode(std::span<const std::uint8_t> input, FrameCollector& frame, int& length, OnFrame&& on_frame) {
  for (const std::uint8_t in : input) {
    if (in == kIcniStart) frame.count = 0;
    if (frame.count == 2) length = in;
    frame.add(in);
    if (frame.count == length + 4) {
      on_frame(frame.collected());
      length = kIcniLengthUnknown;
    }
  }
}

}  // namespace protocol
