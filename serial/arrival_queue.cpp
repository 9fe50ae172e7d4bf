#include "serial/arrival_queue.h"

#include <algorithm>

namespace serial {

namespace {

constexpr std::size_t kBytesPerBlock = 16;
constexpr std::size_t kLeastBlocks = 64;

}  // namespace

ArrivalQueue::ArrivalQueue(std::size_t capacity)
    : ring_(std::max<std::size_t>(capacity, 1)), sizes_(std::max(kLeastBlocks, capacity / kBytesPerBlock)) {}

std::size_t ArrivalQueue::room() const { return blocks_ == sizes_.size() ? 0 : ring_.size() - bytes_; }

void ArrivalQueue::push(std::int64_t time_us, std::span<const std::uint8_t> block) {
  const std::size_t size = std::min(block.size(), room());
  if (size == 0) return;
  const std::size_t tail = (head_ + bytes_) % ring_.size();
  const std::size_t first_part = std::min(size, ring_.size() - tail);
  std::copy_n(block.begin(), first_part, ring_.begin() + static_cast<std::ptrdiff_t>(tail));
  std::copy_n(block.begin() + static_cast<std::ptrdiff_t>(first_part), size - first_part, ring_.begin());
  bytes_ += size;
  sizes_[(first_ + blocks_) % sizes_.size()] = {size, time_us};
  ++blocks_;
}

std::size_t ArrivalQueue::take_block(std::span<std::uint8_t> into, std::int64_t& time_us) {
  if (empty()) return 0;
  Block& block = sizes_[first_];
  time_us = block.time_us;
  const std::size_t count = std::min(into.size(), block.size);
  copy_out(into.first(count));
  block.size -= count;
  if (block.size == 0) {
    first_ = (first_ + 1) % sizes_.size();
    --blocks_;
  }
  return count;
}

std::size_t ArrivalQueue::take(std::span<std::uint8_t> into) {
  std::size_t count = 0;
  std::int64_t time_us = 0;
  while (count < into.size() && !empty()) count += take_block(into.subspan(count), time_us);
  return count;
}

void ArrivalQueue::clear() {
  head_ = bytes_ = 0;
  first_ = blocks_ = 0;
}

// The first `into.size()` bytes of the ring, which it then no longer holds.
void ArrivalQueue::copy_out(std::span<std::uint8_t> into) {
  const std::size_t first_part = std::min(into.size(), ring_.size() - head_);
  std::copy_n(ring_.begin() + static_cast<std::ptrdiff_t>(head_), first_part, into.begin());
  std::copy_n(ring_.begin(), into.size() - first_part, into.begin() + static_cast<std::ptrdiff_t>(first_part));
  head_ = (head_ + into.size()) % ring_.size();
  bytes_ -= into.size();
}

}  // namespace serial
