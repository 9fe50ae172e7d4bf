// Arrival times: a device on the far end of a pty sends bursts 2, 5 and 20 ms apart while the
// window captures; the gaps between the bursts' records in the capture are the gaps between the
// writes, within a millisecond, whatever the 50 ms tick is doing.
//
// The writer reads its clock right after each write, so its gaps are the line's; where the system
// allows it (CI runs as root) it runs at a real-time priority above the readers'. The kernel hands
// a pty's bytes to the reading side from a worker thread of ordinary priority, which a busy machine
// may hold up for a millisecond or more now and then, whoever reads: so the bursts come in short
// trains, and a train is judged by the rule, every gap of it within 1 ms. One train in a few must
// pass; a reader that stamps late (at the tick, or behind a lock) fails them all.
#include <gtest/gtest.h>

#include <pthread.h>
#include <sched.h>
#include <time.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "core/hex.h"
#include "core/resource.h"
#include "tests/shell/capture_file.h"
#include "tests/shell/shell_fixture.h"

namespace {

using namespace std::chrono_literals;

constexpr int kGapsMs[] = {2, 5, 20};
constexpr int kRounds = 3;  // of the three gaps, in a train
constexpr int kBursts = kRounds * 3 + 1;
constexpr int kTrains = 10;
constexpr std::int64_t kToleranceUs = 1000;

std::int64_t monotonic_us() {
  timespec now{};
  ::clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<std::int64_t>(now.tv_sec) * 1000000 + now.tv_nsec / 1000;
}

bool raise_this_thread() {
  sched_param param{};
  param.sched_priority = ::sched_get_priority_min(SCHED_FIFO) + 1;
  return ::pthread_setschedparam(::pthread_self(), SCHED_FIFO, &param) == 0;
}

// Burst k is four bytes of value k, written at the gaps of kGapsMs in turn; the writer's clock
// right after each write.
std::vector<std::int64_t> write_bursts(testsupport::PtyPair& line, bool& real_time) {
  real_time = raise_this_thread();
  std::vector<std::int64_t> written;
  timespec due{};
  ::clock_gettime(CLOCK_MONOTONIC, &due);
  for (int k = 0; k < kBursts; ++k) {
    const long gap_ns = (k == 0 ? 50 : kGapsMs[(k - 1) % 3]) * 1000000L;
    due.tv_nsec += gap_ns;
    while (due.tv_nsec >= 1000000000L) {
      due.tv_nsec -= 1000000000L;
      ++due.tv_sec;
    }
    ::clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &due, nullptr);
    line.write(std::string(4, static_cast<char>(k)));
    written.push_back(monotonic_us());
  }
  return written;
}

// The time of the record holding each burst's first byte.
std::vector<std::int64_t> captured_bursts(const testsupport::CaptureFile& file) {
  std::vector<std::int64_t> times(kBursts, -1);
  for (const capture::CaptureRecord& r : file.records) {
    if (r.interface != 0 || r.direction != capture::Direction::Received) continue;
    for (const std::uint8_t byte : r.bytes)
      if (byte < kBursts && times[byte] < 0) times[byte] = r.time_ns / 1000;
  }
  return times;
}

class ArrivalTimeTest : public testsupport::DialogTest {
 protected:
  // The errors of one train's gaps, in microseconds, from a capture made while it was written.
  std::vector<std::int64_t> train_errors(testsupport::PtyPair& line, int train, bool& real_time) {
    const std::string file = (folder_ / ("train" + std::to_string(train) + ".pcapng")).string();
    host.queue_file_answer(file);
    host.click(IDR_CAPTURE);
    host.click(IDB_CLEAR);
    std::vector<std::int64_t> written;
    std::atomic<bool> done = false;
    std::thread writer([&] {
      written = write_bursts(line, real_time);
      done = true;
    });
    EXPECT_TRUE(host.run_until([&] { return done.load() && shown().size() == 3u * 4 * kBursts; }, 30s)) << shown().size();
    writer.join();
    host.click(IDR_NOCAPTURE);
    const std::vector<std::int64_t> captured = captured_bursts(testsupport::read_capture(file));
    std::vector<std::int64_t> errors;
    for (int k = 1; k < kBursts; ++k) {
      EXPECT_GE(captured[k], 0) << "burst " << k << " is not in the capture";
      errors.push_back(std::abs((captured[k] - captured[k - 1]) - (written[k] - written[k - 1])));
    }
    return errors;
  }
};

TEST_F(ArrivalTimeTest, TheCapturesGapsAreTheLinesWithinAMillisecond) {
  testsupport::PtyPair& line = ports.bind_pty(0);
  host.init();
  bool real_time = false;
  std::vector<std::int64_t> all;
  bool passed = false;
  for (int train = 0; train < kTrains && !passed && !HasFailure(); ++train) {
    const std::vector<std::int64_t> errors = train_errors(line, train, real_time);
    passed = std::all_of(errors.begin(), errors.end(), [](std::int64_t e) { return e <= kToleranceUs; });
    all.insert(all.end(), errors.begin(), errors.end());
  }
  std::sort(all.begin(), all.end());
  std::printf("arrival gaps: %zu measured, median error %lld us, worst %lld us, %s\n", all.size(),
              static_cast<long long>(all[all.size() / 2]), static_cast<long long>(all.back()),
              real_time ? "real-time priority" : "ordinary priority");
  EXPECT_TRUE(passed) << "no train of " << kBursts - 1 << " gaps had every gap within " << kToleranceUs << " us";
}

}  // namespace
