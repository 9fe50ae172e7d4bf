// File transfers through the whole window path: the real dialog in the headless host, Start, the
// transfer thread and the XMODEM timer's ticks until the outcome is shown.
//
// BM_Window100K: a 100 KB file at 115200 bit/s (paced by linesim) to rx or from sx, timed from the
// peer's start to the tick that shows "X-Modem Completed "; BM_Lrzsz100K: sx to rx alone on the
// same line in the same run. The line rate (11,520 bytes/s) is the limit: the figure to compare is
// the window's time against lrzsz's (ratio = lrzsz time / window time).
//
// BM_AbortToOutcome: a send whose receiver has gone silent after a packet; the time from the Abort
// click to the tick that shows "X-Modem Aborted " (click_ms: how long the click's handling took).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "core/dialog_template.h"
#include "core/hex.h"
#include "core/port_claim.h"
#include "core/resource.h"
#include "platform/headless_host.h"
#include "serial/devices.h"
#include "shell/dialog.h"
#include "tests/support/pty_pair.h"
#include "tools/xmodem_run/xmodem_run.h"

namespace {

using Clock = std::chrono::steady_clock;
using xmodemrun::Check;

constexpr std::size_t kFileSize = 100 * 1024;

double seconds_since(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

// A fresh folder with "a" (ours) and "b" (the peer's).
struct Folders {
  Folders() : root(std::filesystem::temp_directory_path() / ("quillport-wbench-" + std::to_string(::getpid()))) {
    std::filesystem::remove_all(root);
    std::filesystem::create_directories(root / "a");
    std::filesystem::create_directories(root / "b");
  }
  ~Folders() { std::filesystem::remove_all(root); }
  std::string a(const std::string& name) const { return (root / "a" / name).string(); }
  std::string b() const { return (root / "b").string(); }
  std::filesystem::path root;
};

// The program's dialog with Port A on `path` and no Port B.
struct Window {
  explicit Window(const std::string& path) {
    serial::bind_device(0, path);
    ::setenv("QUILLPORT_COM2", "/nonexistent", 1);
    host.init();
  }
  ~Window() {
    host.click(IDCANCEL);
    serial::bind_device(0, "");
  }
  void start(int protocol, bool send, const std::string& file) {
    host.choose(IDC_PROTOCOL, protocol);
    host.click(send ? IDR_SENDFILE : IDR_GETFILE);
    host.queue_file_answer(file);
    host.click(IDB_GO_FILE);
  }
  platform::HeadlessHost host{quillport_dialog(), DialogFunc};
};

linesim::Options paced() {
  linesim::Options line;
  line.baud = 115200;
  return line;
}

void BM_Window100K(benchmark::State& state, bool send, Check check) {
  const std::string bytes = xmodemrun::random_bytes(kFileSize, 42);
  for (auto _ : state) {
    Folders folders;
    linesim::Pty line;
    Window window(line.slave_path());
    if (send) xmodemrun::write_file(folders.a("file.bin"), bytes);
    else xmodemrun::write_file(folders.b() + "/file.bin", bytes);
    const auto start = Clock::now();
    const xmodemrun::Peer peer = send ? xmodemrun::rx(check, "file.bin") : xmodemrun::sx(check, "file.bin");
    linesim::Program program(peer.argv, folders.b(), folders.b() + "/.peer.log");
    program.wait_started(10000);
    linesim::Relay relay(line.end(), program.end(), paced());
    window.start(check == Check::Crc1K ? HEX_XMODEM_1K : HEX_XMODEM_CRC, send, folders.a("file.bin"));
    window.host.run_until([] { return hex_xmodem_busy == 0; }, std::chrono::minutes(2));
    const double seconds = seconds_since(start);
    const std::string received = xmodemrun::read_file(send ? folders.b() + "/file.bin" : folders.a("file.bin"));
    if (window.host.text(IDT_PROGRESS) != "X-Modem Completed " || program.wait(10000) != 0 ||
        !xmodemrun::is_padded_copy(received, bytes)) {
      state.SkipWithError(("transfer failed: " + window.host.text(IDT_PROGRESS)).c_str());
      break;
    }
    state.SetIterationTime(seconds);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kFileSize));
}

void BM_Lrzsz100K(benchmark::State& state, Check check) {
  const std::string bytes = xmodemrun::random_bytes(kFileSize, 42);
  for (auto _ : state) {
    Folders folders;
    xmodemrun::write_file(folders.a("file.bin"), bytes);
    const xmodemrun::Result r = xmodemrun::run_programs(xmodemrun::sx(check, "file.bin"), (folders.root / "a").string(),
                                                        xmodemrun::rx(check, "file.bin"), folders.b(), paced());
    if (r.engine != 0 || r.peer != 0 || !xmodemrun::is_padded_copy(xmodemrun::read_file(folders.b() + "/file.bin"), bytes)) {
      state.SkipWithError("sx to rx failed");
      break;
    }
    state.SetIterationTime(r.seconds);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kFileSize));
}

void BM_AbortToOutcome(benchmark::State& state) {
  Folders folders;
  xmodemrun::write_file(folders.a("file.bin"), std::string(4096, 'x'));
  testsupport::PtyPair far;
  Window window(far.slave_path());
  double click_ms = 0;
  for (auto _ : state) {
    window.start(HEX_XMODEM_CRC, true, folders.a("file.bin"));
    far.write("C");
    far.read(133, std::chrono::seconds(5));
    far.write("\x06");
    far.read(133, std::chrono::seconds(5));  // packet 2, which is never answered
    window.host.run_until([&] { return window.host.text(IDT_PROGRESS) == "Packets = 2 "; }, std::chrono::seconds(5));
    const auto start = Clock::now();
    window.host.click(IDB_ABORT);
    click_ms += seconds_since(start) * 1000;
    window.host.run_until([&] { return window.host.text(IDT_PROGRESS) == "X-Modem Aborted "; }, std::chrono::seconds(5));
    state.SetIterationTime(seconds_since(start));
    if (window.host.text(IDT_PROGRESS) != "X-Modem Aborted ") {
      state.SkipWithError("no abort");
      break;
    }
  }
  state.counters["click_ms"] = benchmark::Counter(click_ms, benchmark::Counter::kAvgIterations);
}

#define WINDOW(name, send, check) \
  BENCHMARK_CAPTURE(BM_Window100K, name, send, check)->UseManualTime()->Iterations(2)->Unit(benchmark::kSecond)
#define LRZSZ(name, check) \
  BENCHMARK_CAPTURE(BM_Lrzsz100K, name, check)->UseManualTime()->Iterations(2)->Unit(benchmark::kSecond)

WINDOW(1k_window_to_rx, true, Check::Crc1K);
WINDOW(1k_sx_to_window, false, Check::Crc1K);
LRZSZ(1k_sx_to_rx, Check::Crc1K);
WINDOW(crc128_window_to_rx, true, Check::Crc);
WINDOW(crc128_sx_to_window, false, Check::Crc);
LRZSZ(crc128_sx_to_rx, Check::Crc);
BENCHMARK(BM_AbortToOutcome)->UseManualTime()->Iterations(10)->Unit(benchmark::kMillisecond);

}  // namespace
