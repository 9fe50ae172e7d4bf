// ICNI framing: a start octet 0xEE, the message whose second octet is the length L of what follows
// it, and the check value. No escaping: an 0xEE anywhere starts a new frame.
//
// The decoder collects from each 0xEE; the third octet collected is the length, and the frame is
// complete after L + 4 octets (start, first octet, length, L payload octets, one check octet).
// Before the first 0xEE the third octet received is taken as the length all the same. After a frame
// the collection starts empty, so a frame's octets are never shown twice (nor by another view that
// continues the collection); octets that follow it are collected until the next 0xEE, none of them
// taken as a length, and 259 of them make a frame of their own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "protocol/frame_collector.h"

namespace protocol {

inline constexpr std::uint8_t kIcniStart = 0xEE;
inline constexpr int kIcniLengthUnknown = 255;  // at start-up: the third octet is the length
inline constexpr int kIcniAfterFrame = 0x1FF;    // after a frame: no length until the next 0xEE
// Octets collected after a frame without an 0xEE that make a frame of their own.
inline constexpr int kIcniLongestRun = kIcniLengthUnknown + 4;

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
    if (in == kIcniStart) {
      frame.count = 0;
      if (length == kIcniAfterFrame) length = kIcniLengthUnknown;
    }
    if (frame.count == 2 && length != kIcniAfterFrame) length = in;
    frame.add(in);
    if (frame.count == (length == kIcniAfterFrame ? kIcniLongestRun : length + 4)) {
      on_frame(frame.collected());
      length = kIcniAfterFrame;
      frame.count = 0;
    }
  }
}

}  // namespace protocol
