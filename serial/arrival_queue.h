// Bytes read from a port ahead of its caller, block by block, each block with the time it arrived.
//
// A ring of bytes holds the blocks back to back; a second ring holds each block's size and time.
// Both are bounded (the bytes by the capacity given, the blocks by one per 16 bytes of it, at
// least 64), so a queue never grows: what does not fit stays where it was (in the kernel) until
// the queue has room again. A block taken in part keeps its time for the rest. The queue is not
// locked: its owner locks it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace serial {

class ArrivalQueue {
 public:
  explicit ArrivalQueue(std::size_t capacity);

  bool empty() const { return blocks_ == 0; }
  std::size_t bytes() const { return bytes_; }
  // The most bytes one push takes now: 0 when either ring is full.
  std::size_t room() const;

  // Appends a block of at most room() bytes (more are cut off); an empty block is not kept.
  void push(std::int64_t time_us, std::span<const std::uint8_t> block);
  // Up to `into.size()` bytes of the first block, and that block's time: the count.
  std::size_t take_block(std::span<std::uint8_t> into, std::int64_t& time_us);
  // Up to `into.size()` bytes, across blocks: the count.
  std::size_t take(std::span<std::uint8_t> into);
  void clear();

 private:
  struct Block {
    std::size_t size = 0;
    std::int64_t time_us = 0;
  };

  void copy_out(std::span<std::uint8_t> into);

  std::vector<std::uint8_t> ring_;
  std::size_t head_ = 0;  // first byte of the first block
  std::size_t bytes_ = 0;
  std::vector<Block> sizes_;
  std::size_t first_ = 0;  // the first block in sizes_
  std::size_t blocks_ = 0;
};

}  // namespace serial
