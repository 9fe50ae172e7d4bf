// The capture writer at 2048-byte blocks, both ports taking turns: what handing a block over
// costs the caller (the UI tick), and the whole path to the file, the final flush and sync
// included. Records the disk did not take in time are counted ("lost"; the goal is 0).
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "capture/capture_writer.h"

namespace {

const std::vector<capture::PortInfo> kPorts = {{"Port A", "/dev/ttyUSB0", "115200 8N1, no flow control"},
                                               {"Port B", "/dev/ttyUSB1", "115200 8N1, no flow control"}};

struct Folder {
  Folder() {
    char name[] = "/tmp/quillport-capture-bench-XXXXXX";
    path = ::mkdtemp(name);
  }
  ~Folder() { std::filesystem::remove_all(path); }
  std::string path;
};

// The caller's side only, as the UI tick sees it: each iteration hands over one tick's blocks at
// both ports' full pace (2.6 MB/s each: 64 blocks a port in 50 ms); between ticks, untimed, the
// thread writes them, so the buffer is warm and never full, as in a capture that keeps up. The
// file is /dev/null: the caller's cost does not depend on the disk, and the run writes gigabytes.
constexpr int kTickBlocks = 128;

void BM_HandOverTick(benchmark::State& state) {
  const std::vector<std::uint8_t> bytes(static_cast<std::size_t>(state.range(0)), 0x5A);
  std::string error;
  capture::CaptureWriter::Limits limits;
  limits.flush_every = std::chrono::milliseconds(1);
  const auto writer = capture::CaptureWriter::create("/dev/null", kPorts, error, limits);
  std::int64_t time_us = 1'700'000'000'000'000;
  for (auto _ : state) {
    for (int i = 0; i < kTickBlocks; ++i)
      benchmark::DoNotOptimize(writer->block(i & 1, {capture::Direction::Received, ++time_us, bytes, 0}));
    state.PauseTiming();
    while (writer->status().file_bytes < writer->status().records * bytes.size()) std::this_thread::yield();
    state.ResumeTiming();
  }
  writer->stop();
  state.SetItemsProcessed(state.iterations() * kTickBlocks);
  state.SetBytesProcessed(state.iterations() * kTickBlocks * static_cast<std::int64_t>(bytes.size()));
  state.counters["lost"] = static_cast<double>(writer->status().lost_records);
}
BENCHMARK(BM_HandOverTick)->Arg(2048);

// Start to a synced file: every block handed over, written and flushed.
void BM_WriteToDisk(benchmark::State& state) {
  Folder folder;
  const std::vector<std::uint8_t> bytes(static_cast<std::size_t>(state.range(0)), 0x5A);
  constexpr int kBlocks = 20000;  // 40 MB
  capture::CaptureWriter::Status status;
  for (auto _ : state) {
    std::string error;
    const auto writer = capture::CaptureWriter::create(folder.path + "/bench.pcapng", kPorts, error);
    std::int64_t time_us = 1'700'000'000'000'000;
    for (int i = 0; i < kBlocks; ++i) writer->block(i & 1, {capture::Direction::Received, ++time_us, bytes, 0});
    writer->stop();
    status = writer->status();
  }
  state.SetItemsProcessed(state.iterations() * kBlocks);
  state.SetBytesProcessed(state.iterations() * kBlocks * static_cast<std::int64_t>(bytes.size()));
  state.counters["lost"] = static_cast<double>(status.lost_records);
}
BENCHMARK(BM_WriteToDisk)->Arg(2048)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
