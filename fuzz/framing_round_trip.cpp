// Any payload framed by the HDLC and PPP encoders comes back from the matching decoder, octet for
// octet, however the received stream is cut into blocks; and no encoder writes past its buffer.
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "protocol/hdlc.h"
#include "protocol/ppp.h"

namespace {

using Octets = std::vector<std::uint8_t>;

void require(bool condition) {
  if (!condition) std::abort();
}

// Feeds `frame` to a fresh decoder in two blocks cut at `split` and returns the frames it shows.
template <class Decode>
std::vector<Octets> decode_in_two(const Octets& frame, std::size_t split, Decode decode) {
  std::array<std::uint8_t, 6912> buffer{};
  protocol::FrameCollector collector{buffer, 0};
  std::vector<Octets> frames;
  const auto keep = [&](std::span<const std::uint8_t> f) { frames.emplace_back(f.begin(), f.end()); };
  const std::span<const std::uint8_t> all(frame);
  decode(all.first(split), collector, keep);
  decode(all.subspan(split), collector, keep);
  return frames;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  // The first byte chooses where the stream is cut; the rest, up to the longest frame, is the payload.
  const Octets payload(data + 1, data + std::min<std::size_t>(size, 2300));
  Octets expected{0x7E};
  expected.insert(expected.end(), payload.begin(), payload.end());

  Octets hdlc(protocol::hdlc_frame_capacity(payload.size()));
  hdlc.resize(protocol::hdlc_encode(payload, hdlc));
  require(!hdlc.empty());
  protocol::HdlcReceiver bits;
  const auto hdlc_frames = decode_in_two(hdlc, data[0] % (hdlc.size() + 1), [&](auto in, auto& c, auto keep) {
    protocol::hdlc_decode(in, bits, c, keep);
  });

  Octets ppp(protocol::ppp_frame_capacity(payload.size()));
  ppp.resize(protocol::ppp_encode(payload, ppp));
  require(!ppp.empty());
  std::array<std::uint8_t, 6912> scratch{};
  const auto ppp_frames = decode_in_two(ppp, data[0] % (ppp.size() + 1), [&](auto in, auto& c, auto keep) {
    protocol::ppp_decode(in, c, scratch, keep);
  });

  // An empty payload makes a frame of one octet, which no decoder shows.
  const std::size_t shown = payload.empty() ? 0 : 1;
  require(hdlc_frames.size() == shown && ppp_frames.size() == shown);
  require(shown == 0 || (hdlc_frames[0] == expected && ppp_frames[0] == expected));
  return 0;
}
