#include "protocol/hdlc.h"

namespace protocol {
namespace {

// Packs bits least significant first into octets, never past the end of `out`.
class BitPacker {
 public:
  explicit BitPacker(std::span<std::uint8_t> out) : out_(out) {}
  void put(unsigned bit) {
    current_ |= (bit & 1) << filled_;
    if (++filled_ == 8) flush();
  }
  // Completes a partial last octet with 1 bits and returns the octets written (0 on overflow).
  std::size_t finish() {
    if (filled_ > 0) {
      current_ |= 0xFFu << filled_;
      flush();
    }
    return overflow_ ? 0 : written_;
  }

 private:
  void flush() {
    if (written_ < out_.size())
      out_[written_++] = static_cast<std::uint8_t>(current_);
    else
      overflow_ = true;
    current_ = 0;
    filled_ = 0;
  }
  std::span<std::uint8_t> out_;
  std::size_t written_ = 0;
  unsigned current_ = 0;
  int filled_ = 0;
  bool overflow_ = false;
};

}  // namespace

std::size_t hdlc_encode(std::span<const std::uint8_t> payload, std::span<std::uint8_t> out) {
  if (out.empty()) return 0;
  out[0] = kHdlcFlag;
  BitPacker packer(out.subspan(1));
  int ones = 0;
  for (const std::uint8_t octet : payload) {
    for (int i = 0; i < 8; ++i) {
      const unsigned bit = (octet >> i) & 1;
      packer.put(bit);
      ones = bit ? ones + 1 : 0;
      if (ones == 5) {
        packer.put(0);
        ones = 0;
      }
    }
  }
  for (int i = 0; i < 8; ++i) packer.put((kHdlcFlag >> i) & 1);
  const std::size_t packed = packer.finish();
  return packed == 0 ? 0 : packed + 1;
}

}  // namespace protocol
