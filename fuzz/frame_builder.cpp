// Add Frame on any message text, with any frame and check type: nothing is written past a buffer, a
// frame too long for the field is refused with the field kept, and every frame built reads back:
// HDLC and PPP through their decoders, ICNI octet for octet (and through its decoder when the frame
// is one it can delimit).
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

#include "core/dialog_template.h"
#include "core/hex.h"
#include "core/hex_frame.h"
#include "core/hex_message.h"
#include "core/resource.h"
#include "platform/headless_host.h"
#include "protocol/checks.h"
#include "protocol/hdlc.h"
#include "protocol/icni.h"
#include "protocol/ppp.h"

namespace {

using Octets = std::vector<std::uint8_t>;

constexpr std::size_t kLongestText = HEX_MAX_STRING - 1;

void require(bool condition) {
  if (!condition) std::abort();
}

// The message line of the window: the frame and check type selectors filled, the field.
platform::HeadlessHost& window() {
  static platform::HeadlessHost host(quillport_dialog());
  static const bool filled = [] {
    for (const auto& name : hex_sum) host.add_entry(IDC_SUM, name);
    for (const auto& name : hex_frame) host.add_entry(IDC_FRAME, name);
    host.add_entry(IDC_MSG, "");
    return true;
  }();
  (void)filled;
  return host;
}

Octets check_value(int check, const Octets& message) {
  std::uint32_t value = 0;
  std::size_t width = 0;
  switch (check) {
    case HEX_CRC16: value = static_cast<std::uint16_t>(~protocol::crc16_register(message)), width = 2; break;
    case HEX_CRC32: value = ~protocol::crc32_register(message), width = 4; break;
    case HEX_SUM: value = protocol::sum8(message), width = 1; break;
    case HEX_XOR: value = protocol::xor8(message), width = 1; break;
    default: break;
  }
  Octets octets;
  for (std::size_t i = 0; i < width; ++i) octets.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
  return octets;
}

std::vector<Octets> decode(int frame, const Octets& line) {
  static std::array<std::uint8_t, HEX_MAX_STRING> buffer;
  static std::array<std::uint8_t, HEX_MAX_STRING> scratch;
  protocol::FrameCollector collector{buffer, 0};
  std::vector<Octets> frames;
  const auto keep = [&](std::span<const std::uint8_t> f) { frames.emplace_back(f.begin(), f.end()); };
  protocol::HdlcReceiver bits;
  int length = protocol::kIcniLengthUnknown;
  if (frame == HEX_HDLC) protocol::hdlc_decode(line, bits, collector, keep);
  if (frame == HEX_PPP) protocol::ppp_decode(line, collector, scratch, keep);
  if (frame == HEX_ICNI) protocol::icni_decode(line, collector, length, keep);
  return frames;
}

Octets octets_of(const std::string& text) {
  std::vector<char> bytes((text.size() + 2) / 3);
  bytes.resize(static_cast<std::size_t>(hex_hexstr_to_bin(text.c_str(), bytes.data())));
  return Octets(bytes.begin(), bytes.end());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const int frame = data[0] % 5 == 4 ? -1 : data[0] % 5;  // -1: none selected
  const int check = (data[0] / 5) % 5 == 4 ? -1 : (data[0] / 5) % 5;
  std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
  text.resize(std::string(text.c_str()).size());  // a field holds no NUL

  platform::HeadlessHost& host = window();
  host.clear_message_boxes();
  host.select_entry(IDC_FRAME, frame);
  host.select_entry(IDC_SUM, check);
  host.set_text(IDC_MSG, text);
  hex_frameit(host);
  const std::string field = host.text(IDC_MSG);

  if (frame != HEX_HDLC && frame != HEX_PPP && frame != HEX_ICNI) {
    require(field == text && host.message_boxes().empty());
    return 0;
  }
  if (text.size() > kLongestText || !host.message_boxes().empty()) {
    // Refused: the text too long to read, or its frame too long to send; the field keeps it.
    require(host.message_boxes().size() == 1 && field == text);
    return 0;
  }
  require(field.size() <= kLongestText && field.size() % 3 == 0);

  Octets message = octets_of(text);
  if (frame == HEX_ICNI) protocol::icni_set_length(message);
  Octets expected{frame == HEX_ICNI ? protocol::kIcniStart : protocol::kHdlcFlag};
  expected.insert(expected.end(), message.begin(), message.end());
  const Octets check_octets = check_value(check, message);
  expected.insert(expected.end(), check_octets.begin(), check_octets.end());

  const Octets line = octets_of(field);
  const std::vector<Octets> frames = decode(frame, line);
  if (frame == HEX_ICNI) {
    require(line == expected);
    // The decoder delimits by the length octet and one check octet, and restarts at every EE.
    const bool delimited = message.size() >= 2 && message.size() <= 257 && check_octets.size() == 1 &&
                           std::find(line.begin() + 1, line.end(), protocol::kIcniStart) == line.end();
    require(!delimited || (frames.size() == 1 && frames[0] == expected));
  } else if (expected.size() >= 2) {
    require(frames.size() == 1 && frames[0] == expected);
  }
  return 0;
}
