// Any byte stream from a server decodes to the same data and commands whether it comes in one read
// or cut into small reads with a small output; every report and option request is handled without
// reading or writing outside a buffer; and whatever data came out survives escaping and decoding.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "protocol/telnet.h"

namespace {

using Octets = std::vector<std::uint8_t>;

void require(bool condition) {
  if (!condition) std::abort();
}

struct Result {
  Octets data;
  std::vector<int> events;  // kind and option of each event
};

// Decodes `in` in reads of `read_size` bytes with an output of `room` bytes.
Result decode(std::span<const std::uint8_t> in, std::size_t read_size, std::size_t room) {
  protocol::TelnetDecoder state;
  protocol::TelnetOptions options;
  Result result;
  Octets out(room);
  while (!in.empty()) {
    std::span<const std::uint8_t> read = in.first(read_size < in.size() ? read_size : in.size());
    in = in.subspan(read.size());
    while (!read.empty()) {
      const protocol::TelnetStep step = protocol::telnet_decode(state, read, out);
      require(step.used <= read.size() && step.written <= out.size());
      result.data.insert(result.data.end(), out.begin(), out.begin() + static_cast<std::ptrdiff_t>(step.written));
      const protocol::TelnetEvent& e = step.event;
      if (e.kind != protocol::TelnetEventKind::None) result.events.push_back(static_cast<int>(e.kind) * 256 + e.option);
      if (e.kind == protocol::TelnetEventKind::Negotiation) protocol::telnet_answer(options, e.code, e.option, e.option < 4);
      if (e.kind == protocol::TelnetEventKind::Subnegotiation) protocol::rfc2217::parse_report(e.payload);
      read = read.subspan(step.used);
    }
  }
  return result;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const std::span<const std::uint8_t> stream(data + 1, size - 1);
  const Result whole = decode(stream, stream.size() + 1, stream.size() + 1);
  const Result cut = decode(stream, 1 + data[0] % 7, 1 + data[0] / 64);
  require(whole.data == cut.data && whole.events == cut.events);
  require(whole.data.size() <= stream.size());

  Octets escaped(whole.data.size() * 2);
  escaped.resize(protocol::telnet_escape(whole.data, escaped).written);
  const Result again = decode(escaped, escaped.size() + 1, escaped.size() + 1);
  require(again.data == whole.data && again.events.empty());
  return 0;
}
