// The Terminal view's throughput through the view table, as the receive pump hands it 2048-byte
// blocks of the send port: top's full screen (cursor addressing, colours, erasing; redrawn again
// and again) and the kernel's messages (dmesg: coloured lines scrolling through the scrollback),
// each recorded from the real program on a pseudo-terminal and repeated to 1 MB. The figure is MB/s
// of received bytes; the log forms also write the terminal's written lines to an HTML log. The
// Hexadecimal view on the same bytes is given for comparison.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "core/dialog_template.h"
#include "core/hex.h"
#include "core/hex_log.h"
#include "core/resource.h"
#include "platform/headless_host.h"
#include "shell/dialog.h"
#include "tests/support/pty_program.h"
#include "views/view_switch.h"

namespace {

constexpr std::size_t kStreamBytes = 1 << 20;
constexpr std::size_t kBlock = HEX_QUEUE_SIZE;

std::string record(const std::vector<std::string>& argv) {
  return terminal_test::recorded_stream(argv, 24, 80, kStreamBytes);
}

const std::string& top_stream() {
  static const std::string stream = record({"top", "-n", "5", "-d", "0.1"});
  return stream;
}

// The kernel's ring buffer may be closed to this user (kernel.dmesg_restrict): nothing is recorded.
const std::string& dmesg_stream() {
  static const std::string stream = record({"dmesg", "--color=always"});
  return stream;
}

void through_view(benchmark::State& state, const std::string& stream, int view, bool with_log) {
  if (stream.empty()) return state.SkipWithError("the program wrote nothing");
  platform::HeadlessHost host(quillport_dialog(), DialogFunc);
  host.init();
  host.choose(IDC_VIEW, view);
  const auto log = std::filesystem::temp_directory_path() / ("quillport-view-bench-" + std::to_string(getpid()));
  if (with_log) {
    host.queue_file_answer(log.string());
    hex_log_open(host);
  }
  ReceiveText text;
  const std::span<const std::uint8_t> bytes(reinterpret_cast<const std::uint8_t*>(stream.data()), stream.size());
  for (auto _ : state) {
    for (std::size_t at = 0; at < bytes.size(); at += kBlock)
      hex_show_block(host, hex_send_port, bytes.subspan(at, std::min(kBlock, bytes.size() - at)), text);
    benchmark::DoNotOptimize(host.terminal().emulator().generation());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * stream.size()));
  if (with_log) hex_log_close(host);
  host.close();
  std::filesystem::remove(log);
}

void BM_TopInTerminalView(benchmark::State& state) { through_view(state, top_stream(), HEX_TERMINAL_VIEW, false); }
void BM_TopInTerminalViewWithLog(benchmark::State& state) {
  through_view(state, top_stream(), HEX_TERMINAL_VIEW, true);
}
void BM_DmesgInTerminalView(benchmark::State& state) {
  through_view(state, dmesg_stream(), HEX_TERMINAL_VIEW, false);
}
void BM_DmesgInTerminalViewWithLog(benchmark::State& state) {
  through_view(state, dmesg_stream(), HEX_TERMINAL_VIEW, true);
}
void BM_TopInHexadecimalView(benchmark::State& state) { through_view(state, top_stream(), HEX_HEX_VIEW, false); }

BENCHMARK(BM_TopInTerminalView)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TopInTerminalViewWithLog)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DmesgInTerminalView)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DmesgInTerminalViewWithLog)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TopInHexadecimalView)->Unit(benchmark::kMillisecond);

}  // namespace
