// The decoders and the ANSI parser over 2048-byte blocks, as the pump hands them over: random bytes,
// and typical traffic (frames of 20-200 octets; printable text with escape sequences).
//
// BM_*Decode measure the codecs of protocol/ alone. BM_*View measure the views' functions with the
// real display model behind them (frame lines formatted, inserted and kept in view), which is what
// a tick costs. BM_AnsiParse measures hex_parse_ansi: sequences act on the display model, the text
// it returns is not inserted.
#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "core/dialog_template.h"
#include "core/hex.h"
#include "platform/headless_host.h"
#include "protocol/hdlc.h"
#include "protocol/icni.h"
#include "protocol/ppp.h"
#include "shell/dialog.h"
#include "views/ansi_parser.h"
#include "views/frame_views.h"

namespace {

using Octets = std::vector<std::uint8_t>;

constexpr std::size_t kBlock = HEX_QUEUE_SIZE;
constexpr std::size_t kStream = 64 * kBlock;

enum Traffic { kRandom = 0, kTypical = 1 };
enum Kind { kHdlc, kPpp, kIcni };

Octets random_bytes(std::mt19937& random, std::size_t count) {
  Octets bytes(count);
  for (auto& byte : bytes) byte = static_cast<std::uint8_t>(random());
  return bytes;
}

// Frames of 20 to 200 octets back to back, as the far end of a busy line sends them.
Octets frames(Kind kind, std::size_t size) {
  std::mt19937 random(1662);
  Octets stream;
  while (stream.size() < size) {
    Octets payload = random_bytes(random, 20 + random() % 181);
    Octets frame(protocol::hdlc_frame_capacity(payload.size()) + protocol::ppp_frame_capacity(payload.size()));
    std::size_t length = 0;
    switch (kind) {
      case kHdlc:
        length = protocol::hdlc_encode(payload, frame);
        break;
      case kPpp:
        length = protocol::ppp_encode(payload, frame);
        break;
      case kIcni:
        for (auto& octet : payload) octet = octet == protocol::kIcniStart ? 0 : octet;
        protocol::icni_set_length(std::span(payload).first(payload.size() - 1));
        length = protocol::icni_encode(payload, frame);
        break;
    }
    stream.insert(stream.end(), frame.begin(), frame.begin() + static_cast<long>(length));
  }
  stream.resize(size);
  return stream;
}

Octets stream_of(Kind kind, Traffic traffic) {
  std::mt19937 random(1234);
  return traffic == kRandom ? random_bytes(random, kStream) : frames(kind, kStream);
}

// Runs `decode` on one 2048-byte block after the other, round the stream.
template <class Decode>
void over_blocks(benchmark::State& state, const Octets& stream, Decode decode) {
  std::size_t at = 0;
  for (auto _ : state) {
    decode(std::span<const std::uint8_t>(stream).subspan(at, kBlock));
    at = (at + kBlock) % stream.size();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kBlock));
}

struct Collector {
  std::array<std::uint8_t, HEX_MAX_STRING> buffer{};
  std::array<std::uint8_t, HEX_MAX_STRING> scratch{};
  protocol::FrameCollector frame{buffer, 0};
  protocol::HdlcReceiver bits;
  int length = protocol::kIcniLengthUnknown;
  std::size_t frames = 0;
};

void BM_HdlcDecode(benchmark::State& state) {
  Collector c;
  over_blocks(state, stream_of(kHdlc, Traffic(state.range(0))), [&](auto block) {
    protocol::hdlc_decode(block, c.bits, c.frame, [&](auto f) { c.frames += f.size(); });
  });
  benchmark::DoNotOptimize(c.frames);
}

void BM_PppDecode(benchmark::State& state) {
  Collector c;
  over_blocks(state, stream_of(kPpp, Traffic(state.range(0))), [&](auto block) {
    protocol::ppp_decode(block, c.frame, c.scratch, [&](auto f) { c.frames += f.size(); });
  });
  benchmark::DoNotOptimize(c.frames);
}

void BM_IcniDecode(benchmark::State& state) {
  Collector c;
  over_blocks(state, stream_of(kIcni, Traffic(state.range(0))), [&](auto block) {
    protocol::icni_decode(block, c.frame, c.length, [&](auto f) { c.frames += f.size(); });
  });
  benchmark::DoNotOptimize(c.frames);
}

// A display that is emptied, untimed, once it holds a few thousand rows, so every block meets a
// display of about the same size.
template <class Parse>
void view_over_blocks(benchmark::State& state, Kind kind, Parse parse) {
  platform::HeadlessHost host(quillport_dialog());
  std::fill(std::begin(hex_obj), std::end(hex_obj), HEX_OBJ_TYP{});
  hex_obj[0].msglength = protocol::kIcniLengthUnknown;
  const Octets stream = stream_of(kind, Traffic(state.range(0)));
  std::array<char, HEX_MAX_STRING + 1> text{};
  over_blocks(state, stream, [&](auto block) {
    parse(host, reinterpret_cast<const char*>(block.data()), text.data(), static_cast<int>(block.size()));
    if (host.screen().line_count() > 5000) {
      state.PauseTiming();
      host.screen().set_text("");
      state.ResumeTiming();
    }
  });
}

void BM_HdlcView(benchmark::State& state) { view_over_blocks(state, kHdlc, hex_parse_hdlc); }
void BM_PppView(benchmark::State& state) { view_over_blocks(state, kPpp, hex_parse_ppp); }
void BM_IcniView(benchmark::State& state) { view_over_blocks(state, kIcni, hex_parse_icni); }

enum AnsiTraffic { kAnsiRandom = 0, kAnsiText = 1, kAnsiTextWithSequences = 2 };

// Lines of printable text as a program on a terminal writes them; with sequences, each line is
// placed by cursor addressing, coloured and ends erasing the rest of its row.
Octets ansi_stream(AnsiTraffic traffic) {
  std::mt19937 random(1979);
  if (traffic == kAnsiRandom) return random_bytes(random, kStream);
  std::string text;
  for (int row = 0; text.size() < kStream; row = (row + 1) % 24) {
    if (traffic == kAnsiTextWithSequences) {
      char place[32];
      std::snprintf(place, sizeof place, "\x1b[%d;%dH", row + 1, 1 + static_cast<int>(random() % 20));
      text += place;
      text += "\x1b[1;32m";
    }
    for (int i = 20 + static_cast<int>(random() % 50); i > 0; --i) text += static_cast<char>(' ' + random() % 95);
    if (traffic == kAnsiTextWithSequences) text += "\x1b[0m\x1b[K";
    text += "\r\n";
  }
  text.resize(kStream);
  return Octets(text.begin(), text.end());
}

void BM_AnsiParse(benchmark::State& state) {
  platform::HeadlessHost host(quillport_dialog(), DialogFunc);
  host.screen().set_key_events(true);
  std::fill(std::begin(hex_obj), std::end(hex_obj), HEX_OBJ_TYP{});
  hex_view_mode = HEX_ANSI_VIEW;
  const Octets stream = ansi_stream(AnsiTraffic(state.range(0)));
  std::array<char, HEX_MAX_STRING + 1> text{};
  over_blocks(state, stream, [&](auto block) {
    benchmark::DoNotOptimize(
        hex_parse_ansi(host, reinterpret_cast<const char*>(block.data()), text.data(), static_cast<int>(block.size())));
    if (host.screen().line_count() > 5000) host.screen().set_text("");
  });
}

BENCHMARK(BM_HdlcDecode)->ArgName("typical")->Arg(kRandom)->Arg(kTypical);
BENCHMARK(BM_PppDecode)->ArgName("typical")->Arg(kRandom)->Arg(kTypical);
BENCHMARK(BM_IcniDecode)->ArgName("typical")->Arg(kRandom)->Arg(kTypical);
BENCHMARK(BM_HdlcView)->ArgName("typical")->Arg(kRandom)->Arg(kTypical);
BENCHMARK(BM_PppView)->ArgName("typical")->Arg(kRandom)->Arg(kTypical);
BENCHMARK(BM_IcniView)->ArgName("typical")->Arg(kRandom)->Arg(kTypical);
BENCHMARK(BM_AnsiParse)->ArgName("traffic")->Arg(kAnsiRandom)->Arg(kAnsiText)->Arg(kAnsiTextWithSequences);

}  // namespace
