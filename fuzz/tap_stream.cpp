// The tap's message decoder takes any byte stream, cut anywhere: the messages it gives, and
// whether the stream broke, do not depend on where the stream was cut.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "capture/tap_protocol.h"

namespace {

void require(bool condition) {
  if (!condition) std::abort();
}

struct Decoded {
  std::vector<capture::TapMessage> messages;
  bool broken = false;
};

Decoded decode(std::span<const std::uint8_t> stream, std::size_t piece) {
  capture::TapDecoder decoder;
  Decoded decoded;
  for (std::size_t at = 0; at < stream.size(); at += piece) {
    const std::size_t size = std::min(piece, stream.size() - at);
    if (!decoder.feed(stream.subspan(at, size), decoded.messages)) decoded.broken = true;
  }
  for (const capture::TapMessage& m : decoded.messages) require(m.body.size() <= capture::kMaxTapBody);
  return decoded;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::size_t piece = 1 + data[0] % 64;
  const std::span<const std::uint8_t> stream(data + 1, size - 1);
  const Decoded whole = decode(stream, stream.size() + 1);
  const Decoded cut = decode(stream, piece);
  require(whole.broken == cut.broken && whole.messages.size() == cut.messages.size());
  for (std::size_t i = 0; i < whole.messages.size(); ++i) {
    require(whole.messages[i].body == cut.messages[i].body);
    require(whole.messages[i].kind == cut.messages[i].kind && whole.messages[i].time_us == cut.messages[i].time_us);
  }
  return 0;
}
