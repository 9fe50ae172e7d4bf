// Ticks of the receive pump's output path, with the log on, into the display model: rendered as
// hexadecimal text and shown through hex_display_msg. BM_FullRateTick is one block of 2048 bytes on
// each port, measured with the display empty, at 10,000 rows and at the scrollback cap (so trimming
// runs). BM_DrainingTick is the heaviest tick the pump makes, 64 blocks on each port, through the
// views' block renderer the pump uses; it reports the worst tick seen as well as the mean.
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "core/hex.h"
#include "core/hex_display.h"
#include "core/hex_log.h"
#include "platform/headless_host.h"
#include "core/dialog_template.h"
#include "shell/pump.h"
#include "views/view_switch.h"

namespace {

std::array<char, HEX_MAX_STRING + 1> block;

void show_port_block(platform::HeadlessHost& host, int port, unsigned char seed) {
  for (int i = 0; i < HEX_QUEUE_SIZE; ++i) block[static_cast<std::size_t>(i)] = static_cast<char>(seed + i);
  const int length = hex_to_hexstr(block.data(), block.data(), HEX_QUEUE_SIZE);
  hex_display_msg(host, port, block.data(), length);
}

void tick(platform::HeadlessHost& host) {
  show_port_block(host, 0, 0x10);
  show_port_block(host, 1, 0x80);
}

// A trace of `rows` rows, the hexadecimal of ticks at full rate.
void fill(platform::HeadlessHost& host, int rows) {
  host.screen().set_text("");
  while (host.screen().line_count() < rows) tick(host);
}

std::size_t heap_in_use() { return mallinfo2().uordblks; }

void BM_FullRateTick(benchmark::State& state) {
  const int rows_before = static_cast<int>(state.range(0));
  const std::filesystem::path log =
      std::filesystem::temp_directory_path() / ("quillport-bench-" + std::to_string(getpid()) + ".htm");
  const std::size_t heap_before = heap_in_use();
  {
    platform::HeadlessHost host(quillport_dialog());
    hex_view_mode = HEX_HEX_VIEW;
    fill(host, rows_before);
    host.queue_file_answer(log.string());
    hex_log_open(host);
    // The model is kept near its starting size; below the cap it is filled again, untimed, once a
    // few thousand rows have been added.
    const int refill_at = rows_before + 2000;
    for (auto _ : state) {
      tick(host);
      if (host.screen().line_count() >= refill_at && refill_at <= host.screen().max_rows()) {
        state.PauseTiming();
        hex_log = 0;
        fill(host, rows_before);
        hex_log = 1;
        state.ResumeTiming();
      }
    }
    state.counters["rows"] = host.screen().line_count();
    state.counters["model_MB"] = static_cast<double>(heap_in_use() - heap_before) / (1024.0 * 1024.0);
    state.SetBytesProcessed(state.iterations() * 2 * HEX_QUEUE_SIZE);
    hex_log_close(host);
  }
  std::filesystem::remove(log);
}

void BM_DrainingTick(benchmark::State& state) {
  const int rows_before = static_cast<int>(state.range(0));
  const std::filesystem::path log =
      std::filesystem::temp_directory_path() / ("quillport-drain-" + std::to_string(getpid()) + ".htm");
  // The bytes of one tick: 64 different blocks for each port.
  std::vector<std::array<std::uint8_t, HEX_QUEUE_SIZE>> blocks(2 * kPumpBlocksPerTick);
  for (std::size_t b = 0; b < blocks.size(); ++b)
    for (std::size_t i = 0; i < HEX_QUEUE_SIZE; ++i) blocks[b][i] = static_cast<std::uint8_t>(b * 37 + i * 11);
  std::array<std::uint8_t, HEX_QUEUE_SIZE> read{};
  ReceiveText text;
  {
    platform::HeadlessHost host(quillport_dialog());
    hex_view_mode = HEX_HEX_VIEW;
    fill(host, rows_before);
    host.queue_file_answer(log.string());
    hex_log_open(host);
    double worst = 0;
    for (auto _ : state) {
      const auto start = std::chrono::steady_clock::now();
      for (int port = 0; port < 2; ++port) {
        for (int b = 0; b < kPumpBlocksPerTick; ++b) {
          const auto& bytes = blocks[static_cast<std::size_t>(port * kPumpBlocksPerTick + b)];
          std::memcpy(read.data(), bytes.data(), HEX_QUEUE_SIZE);  // as the pump's read does
          hex_show_block(host, port, read, text);
        }
      }
      const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      state.SetIterationTime(seconds);
      worst = std::max(worst, seconds);
      // Below the cap the display is kept near its starting size, untimed.
      if (rows_before < host.screen().max_rows()) {
        hex_log = 0;
        fill(host, rows_before);
        hex_log = 1;
      }
    }
    state.counters["worst_ms"] = worst * 1000;
    state.counters["rows"] = host.screen().line_count();
    state.SetBytesProcessed(state.iterations() * 2 * kPumpBlocksPerTick * HEX_QUEUE_SIZE);
    hex_log_close(host);
  }
  std::filesystem::remove(log);
}

BENCHMARK(BM_DrainingTick)
    ->Arg(0)
    ->Arg(platform::kDefaultScrollbackRows)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

BENCHMARK(BM_FullRateTick)->Arg(0)->Arg(10000)->Arg(platform::kDefaultScrollbackRows)->Unit(benchmark::kMicrosecond);

}  // namespace
