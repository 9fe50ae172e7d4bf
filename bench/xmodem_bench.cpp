// A 100 KB file over a pty cable paced by linesim at 115200 baud, for 128-byte CRC packets and 1K
// packets: our engine to rx, sx to our engine, and sx to rx for comparison. The engine is driven
// back to back, as the transfer thread drives it. Time is the transfer's wall time; the line rate
// (11,520 bytes/s) is the limit, so the figure to compare is each run against sx to rx.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "tools/xmodem_run/xmodem_run.h"

namespace {

using xmodemrun::Check;

constexpr std::size_t kFileSize = 100 * 1024;

enum class Pair { OursToRx, SxToOurs, SxToRx };

void BM_Transfer100K(benchmark::State& state, Pair pair, Check check) {
  const std::string original = xmodemrun::random_bytes(kFileSize, 42);
  const auto root = std::filesystem::temp_directory_path() / ("quillport-xbench-" + std::to_string(::getpid()));
  linesim::Options line;
  line.baud = 115200;
  for (auto _ : state) {
    std::filesystem::remove_all(root);
    std::filesystem::create_directories(root / "a");
    std::filesystem::create_directories(root / "b");
    const std::string a = (root / "a").string();
    const std::string b = (root / "b").string();
    xmodemrun::Result r;
    std::string received;
    switch (pair) {
      case Pair::OursToRx:
        xmodemrun::write_file(a + "/file.bin", original);
        r = xmodemrun::run_engine(0, true, check, a + "/file.bin", xmodemrun::rx(check, "file.bin"), b, line);
        received = xmodemrun::read_file(b + "/file.bin");
        break;
      case Pair::SxToOurs:
        xmodemrun::write_file(b + "/file.bin", original);
        r = xmodemrun::run_engine(0, false, check, a + "/file.bin", xmodemrun::sx(check, "file.bin"), b, line);
        received = xmodemrun::read_file(a + "/file.bin");
        break;
      case Pair::SxToRx:
        xmodemrun::write_file(a + "/file.bin", original);
        r = xmodemrun::run_programs(xmodemrun::sx(check, "file.bin"), a, xmodemrun::rx(check, "file.bin"), b, line);
        received = xmodemrun::read_file(b + "/file.bin");
        break;
    }
    if (r.engine != 0 || r.peer != 0 || !xmodemrun::is_padded_copy(received, original)) {
      state.SkipWithError(("transfer failed: " + std::to_string(r.engine) + " / " + std::to_string(r.peer)).c_str());
      break;
    }
    state.SetIterationTime(r.seconds);
  }
  std::filesystem::remove_all(root);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kFileSize));
}

#define TRANSFER(name, pair, check)                                                     \
  BENCHMARK_CAPTURE(BM_Transfer100K, name, pair, check)->UseManualTime()->Iterations(2) \
      ->Unit(benchmark::kSecond)

TRANSFER(crc128_ours_to_rx, Pair::OursToRx, Check::Crc);
TRANSFER(crc128_sx_to_ours, Pair::SxToOurs, Check::Crc);
TRANSFER(crc128_sx_to_rx, Pair::SxToRx, Check::Crc);
TRANSFER(1k_ours_to_rx, Pair::OursToRx, Check::Crc1K);
TRANSFER(1k_sx_to_ours, Pair::SxToOurs, Check::Crc1K);
TRANSFER(1k_sx_to_rx, Pair::SxToRx, Check::Crc1K);

}  // namespace
