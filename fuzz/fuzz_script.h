// A fuzzer's input read as a series of commands: a byte says what to do, the bytes after it what
// with. Past the end, every byte reads 0 and every run of bytes is empty.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>

class FuzzScript {
 public:
  explicit FuzzScript(std::span<const std::uint8_t> data) : data_(data) {}
  bool done() const { return at_ >= data_.size(); }
  std::uint8_t byte() { return done() ? 0 : data_[at_++]; }
  std::span<const std::uint8_t> bytes(std::size_t count) {
    count = std::min(count, data_.size() - at_);
    const auto part = data_.subspan(at_, count);
    at_ += count;
    return part;
  }

 private:
  std::span<const std::uint8_t> data_;
  std::size_t at_ = 0;
};
