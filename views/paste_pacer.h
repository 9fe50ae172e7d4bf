// A paste going out on a line at the pace a slow device can take.
//
// How it works
//   The pasted bytes are held and handed out a piece per screen tick: at most as many bytes as the
//   line carries in a tick at its rate, so that nothing piles up in the port's output queue, and
//   never past a line break (CR): the piece ends after it, and the next line waits for the next
//   tick. A device without flow control that acts on each line as it comes (a bootloader's
//   command line, a microcontroller's shell) thus gets a tick to act before the next line arrives,
//   where a paste sent at once would overrun its few bytes of input buffer.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

class PastePacer {
 public:
  // Starts sending `bytes`, in place of any paste still under way.
  void start(std::string bytes);
  void stop();
  bool active() const { return sent_ < bytes_.size(); }
  std::size_t remaining() const { return bytes_.size() - sent_; }

  // The next piece, counted as sent: at most `budget` bytes (at least one), ending after the
  // first CR. Empty when nothing is left.
  std::string_view take(std::size_t budget);

 private:
  std::string bytes_;
  std::size_t sent_ = 0;
};

// The bytes a line at `rate` bit/s carries in `milliseconds`, counting ten bits a character (a
// start bit, eight data bits and a stop bit); at least one.
std::size_t line_bytes_in(unsigned rate, unsigned milliseconds);
