// Both lines at the pump's full pace (2.6 MB/s each: 64 blocks of 2048 bytes a port every 50 ms)
// for a minute through the real dialog in the headless host, its timers ticking in real time,
// with and without a capture: the program's CPU time (its UI thread, the ports' readers and the
// capture's writer; the far ends write from a process of their own), the pace the lines kept, and
// the bytes the capture lacks (the goal is 0). In Stop the trace is off (reading and capturing
// alone, where the capture's share shows most); in Run the hexadecimal view shows everything.
// QUILLPORT_BENCH_SECONDS sets the length of a run (60 by default).
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "capture/capture_reader.h"
#include "core/dialog_template.h"
#include "core/hex.h"
#include "core/resource.h"
#include "platform/headless_host.h"
#include "serial/devices.h"
#include "serial/ser.h"
#include "shell/dialog.h"
#include "tests/support/pty_pair.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr double kBytesPerSecond = 64.0 * 2048 * 20;

int seconds() {
  const char* given = std::getenv("QUILLPORT_BENCH_SECONDS");
  return given != nullptr ? std::max(1, std::atoi(given)) : 60;
}

double cpu_seconds() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  const auto seconds_of = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
  return seconds_of(usage.ru_utime) + seconds_of(usage.ru_stime);
}

// The far ends in a process of their own: each line is written at the pace, 10 ms at a time, for
// `duration`; the bytes written reach the parent through `report` when it ends.
void far_ends(std::array<int, 2> masters, std::chrono::seconds duration, int report) {
  std::array<std::thread, 2> lines;
  std::array<std::uint64_t, 2> written{};
  for (std::size_t port = 0; port < 2; ++port) {
    lines[port] = std::thread([&, port] {
      std::string chunk(64 * 1024, '\0');
      for (std::size_t i = 0; i < chunk.size(); ++i) chunk[i] = static_cast<char>(i * 31 + port);
      const auto start = std::chrono::steady_clock::now();
      for (auto now = start; now - start < duration; now = std::chrono::steady_clock::now()) {
        const std::chrono::duration<double> elapsed = now - start;
        auto due = static_cast<std::uint64_t>(kBytesPerSecond * elapsed.count()) - written[port];
        while (due > 0) {
          const ssize_t n = ::write(masters[port], chunk.data(), std::min<std::uint64_t>(due, chunk.size()));
          if (n < 0 && errno == EAGAIN) {  // the far end's side is full: the line waits for the reader
            pollfd room{masters[port], POLLOUT, 0};
            ::poll(&room, 1, 100);
            continue;
          }
          if (n <= 0) return;
          written[port] += static_cast<std::uint64_t>(n);
          due -= static_cast<std::uint64_t>(n);
        }
        std::this_thread::sleep_for(10ms);
      }
    });
  }
  for (std::thread& line : lines) line.join();
  [[maybe_unused]] const ssize_t n = ::write(report, written.data(), sizeof written);
}

std::array<std::uint64_t, 2> captured_bytes(const std::string& path) {
  capture::CaptureReader reader;
  std::array<std::uint64_t, 2> bytes{};
  if (!reader.open(path)) return bytes;
  while (const std::optional<capture::CaptureRecord> r = reader.next())
    if (r->interface < 2 && r->direction == capture::Direction::Received) bytes[r->interface] += r->bytes.size();
  return bytes;
}

void BM_BothLinesAtFullPace(benchmark::State& state) {
  const bool capturing = state.range(0) != 0;
  const bool shown = state.range(1) != 0;
  char name[] = "/tmp/quillport-pace-bench-XXXXXX";
  const fs::path folder = ::mkdtemp(name);
  serial::set_scan_roots(folder.string(), folder.string());
  testsupport::PtyPair com1;
  testsupport::PtyPair com2;
  serial::bind_device(0, com1.slave_path());
  serial::bind_device(1, com2.slave_path());
  std::array<std::uint64_t, 2> written{};
  double cpu = 0;
  double wall = 0;
  std::array<std::uint64_t, 2> captured{};
  for (auto _ : state) {
    // The far ends' process is made while this one has no other thread, and waits for the word.
    int go[2];
    int report[2];
    if (::pipe(go) != 0 || ::pipe(report) != 0) return;
    const pid_t child = ::fork();
    if (child == 0) {
      char word = 0;
      if (::read(go[0], &word, 1) == 1) far_ends({com1.master(), com2.master()}, std::chrono::seconds(seconds()), report[1]);
      ::_exit(0);
    }
    platform::HeadlessHost host(quillport_dialog(), DialogFunc);
    host.init();
    if (!shown) host.click(IDR_STOP);
    if (capturing) {
      host.queue_file_answer((folder / "pace.pcapng").string());
      host.click(IDR_CAPTURE);
    }
    const double cpu_before = cpu_seconds();
    const auto start = std::chrono::steady_clock::now();
    [[maybe_unused]] const ssize_t said = ::write(go[1], "g", 1);
    host.run_until([&] { return ::waitpid(child, nullptr, WNOHANG) == child; }, std::chrono::seconds(seconds() + 120));
    host.run_until([] { return SioRxQue(0) == 0 && SioRxQue(1) == 0; }, 60s);
    host.run_for(100ms);
    cpu = cpu_seconds() - cpu_before;
    wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    [[maybe_unused]] const ssize_t n = ::read(report[0], written.data(), sizeof written);
    for (const int fd : {go[0], go[1], report[0], report[1]}) ::close(fd);
    host.click(IDCANCEL);
    if (capturing) captured = captured_bytes((folder / "pace.pcapng").string());
  }
  for (int number = 0; number < 2; ++number) serial::bind_device(number, "");
  fs::remove_all(folder);
  state.counters["cpu_s"] = cpu;
  state.counters["cpu_%"] = 100 * cpu / wall;
  state.counters["MB/s_per_line"] = static_cast<double>(written[0] + written[1]) / 2 / wall / 1e6;
  if (capturing) {
    state.counters["lost_A"] = static_cast<double>(written[0] - captured[0]);
    state.counters["lost_B"] = static_cast<double>(written[1] - captured[1]);
  }
}
BENCHMARK(BM_BothLinesAtFullPace)
    ->ArgNames({"capture", "shown"})
    ->Args({0, 0})
    ->Args({1, 0})
    ->Args({0, 1})
    ->Args({1, 1})
    ->Iterations(1)
    ->Unit(benchmark::kSecond)
    ->UseRealTime();

}  // namespace
