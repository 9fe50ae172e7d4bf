// Time for every wait: one monotonic millisecond clock and the deadline measured on it.
//
// Readings are 32-bit and wrap after 49 days; a deadline compares by difference, so it stays right
// across the wrap. Code that waits takes a Clock&, so a test passes its own clock and a 60-second
// time-out is reached in a few readings instead of a minute of sleep.
#pragma once

#include <algorithm>
#include <cstdint>

namespace serial {

class Clock {
 public:
  virtual ~Clock() = default;
  virtual std::uint32_t now_ms() = 0;
};

// The system's monotonic clock (never set back, not moved by changes of the wall time).
Clock& steady_clock();

class Deadline {
 public:
  Deadline(Clock& clock, std::uint32_t length_ms)
      : clock_(&clock), start_(clock.now_ms()), length_(length_ms) {}

  std::uint32_t elapsed() const { return clock_->now_ms() - start_; }
  bool expired() const { return elapsed() >= length_; }
  std::uint32_t left() const { return length_ - std::min(elapsed(), length_); }

 private:
  Clock* clock_;
  std::uint32_t start_;
  std::uint32_t length_;
};

}  // namespace serial
