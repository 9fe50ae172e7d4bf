// The terminal emulator's throughput on streams recorded from real programs on a pseudo-terminal:
// top's full screen (cursor addressing, colours, erasing; redrawn again and again) and a coloured
// recursive ls scrolling through the scrollback. Each stream is repeated to 1 MB and fed in blocks
// of 2048 bytes, as the receive pump reads them; the figure is MB/s of received bytes. The second
// form of each also hands every finished row to a line sink, as the HTML log will.
#include <benchmark/benchmark.h>

#include <span>
#include <string>
#include <vector>

#include "terminal/emulator.h"
#include "tests/support/pty_program.h"

namespace {

constexpr std::size_t kStreamBytes = 1 << 20;
constexpr std::size_t kBlock = 2048;

std::string record(const std::vector<std::string>& argv, int rows, int columns) {
  return terminal_test::recorded_stream(argv, rows, columns, kStreamBytes);
}

const std::string& top_stream() {
  static const std::string stream = record({"top", "-n", "5", "-d", "0.1"}, 24, 80);
  return stream;
}

const std::string& ls_stream() {
  static const std::string stream = record({"ls", "-lR", "--color=always", "/usr/share/doc"}, 24, 80);
  return stream;
}

void feed_stream(benchmark::State& state, const std::string& stream, bool with_log) {
  if (stream.empty()) return state.SkipWithError("the program wrote nothing");
  terminal::Emulator emulator;
  std::size_t logged = 0;
  if (with_log) emulator.set_line_sink([&](std::string_view line) { logged += line.size() + 1; });
  for (auto _ : state) {
    for (std::size_t at = 0; at < stream.size(); at += kBlock)
      emulator.feed(std::string_view(stream).substr(at, kBlock));
    benchmark::DoNotOptimize(emulator.generation());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * stream.size()));
  state.counters["logged_bytes"] = static_cast<double>(logged) / static_cast<double>(state.iterations());
}

void BM_TopFullScreen(benchmark::State& state) { feed_stream(state, top_stream(), false); }
void BM_TopFullScreenWithLog(benchmark::State& state) { feed_stream(state, top_stream(), true); }
void BM_ScrollingLs(benchmark::State& state) { feed_stream(state, ls_stream(), false); }
void BM_ScrollingLsWithLog(benchmark::State& state) { feed_stream(state, ls_stream(), true); }

// What a painter pays for a whole new screen: every cell of every row read once.
void BM_ReadWholeScreen(benchmark::State& state) {
  terminal::Emulator emulator;
  emulator.feed(top_stream().substr(0, 64 * 1024));
  std::vector<terminal::Cell> row(static_cast<std::size_t>(emulator.columns()));
  for (auto _ : state) {
    for (int r = 0; r < emulator.rows(); ++r) emulator.read_row(r, row);
    benchmark::DoNotOptimize(row.data());
  }
}

BENCHMARK(BM_TopFullScreen)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TopFullScreenWithLog)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScrollingLs)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScrollingLsWithLog)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadWholeScreen)->Unit(benchmark::kMicrosecond);

}  // namespace
