// A capture file written behind the caller's back: the caller (the UI tick) hands over records,
// which are encoded at once into a buffer in memory; a thread of the writer's own takes the whole
// buffer at least once a second (sooner when a megabyte waits) and writes it to the file.
//
// The caller never waits for the disk: handing over a record copies its bytes under a lock that
// the thread holds only to swap buffers. Memory is bounded: while more than `buffer_bytes` wait
// for a disk that does not keep up, new records are dropped and counted per port; once there is
// room again a CAPTURE_DATA_LOST record on the port's interface marks the gap in the file, saying
// how much was dropped, and status() counts it for the window.
//
// A write that fails (a full disk, an I/O error) stops the capture: the file keeps what was
// written, later records are not taken, and error() names the path and the system's reason for
// the caller to show. stop() writes everything still buffered, syncs and closes the file; it is
// idempotent, and the destructor calls it. stop() waits for the disk, so it belongs to orderly
// shutdown (Exit, and the signals the program turns into Exit), never inside a signal handler.
//
// The file: a Section Header; interface 0, 1... for the ports given at the start (RTAC Serial,
// if_name the port's name, if_description its device and settings); an interface per port and
// frame kind, described just before its first frame ("Port A PPP"); comments as RTAC status
// changes with a packet comment (Wireshark shows them in the packet list and "Expert Info").
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "capture/capture_records.h"
#include "capture/capture_types.h"

namespace capture {

class CaptureWriter {
 public:
  struct Limits {
    std::size_t buffer_bytes = 32 * 1024 * 1024;  // waiting for the disk (as much again being written)
    std::chrono::milliseconds flush_every{1000};
  };

  struct Status {
    std::uint64_t records = 0;       // taken into the file
    std::uint64_t file_bytes = 0;    // written to the file so far
    std::uint64_t lost_records = 0;  // dropped while the disk did not keep up
    std::uint64_t lost_bytes = 0;
    std::string error;  // why the capture stopped: "<path>: <reason>"; empty while it works
  };

  // Creates (or empties) `path` and starts writing; nullptr with `error` set ("<path>: <reason>")
  // when the file cannot be made.
  static std::unique_ptr<CaptureWriter> create(const std::string& path, std::vector<PortInfo> ports,
                                               std::string& error, Limits limits);
  static std::unique_ptr<CaptureWriter> create(const std::string& path, std::vector<PortInfo> ports,
                                               std::string& error);
  ~CaptureWriter();
  CaptureWriter(const CaptureWriter&) = delete;
  CaptureWriter& operator=(const CaptureWriter&) = delete;

  // Each returns false when the record was not taken: a port that is not one of the capture's,
  // a capture that has stopped, or a full buffer (then counted as lost).
  bool block(int port, const LineBlock& block);
  bool frame(int port, FrameKind kind, Direction direction, std::int64_t time_us,
             std::span<const std::uint8_t> frame);
  bool comment(int port, std::int64_t time_us, std::string_view text);

  void stop();
  bool failed() const { return failed_.load(std::memory_order_relaxed); }
  Status status() const;
  const std::string& path() const { return path_; }

 private:
  struct Lost {
    std::uint64_t records = 0;
    std::uint64_t bytes = 0;
    std::int64_t first_time_us = 0;
  };

  CaptureWriter(std::string path, int fd, std::vector<PortInfo> ports, Limits limits);
  bool admit(int port, std::size_t bytes, std::int64_t time_us);
  void mark_losses();
  std::uint32_t frame_interface(int port, FrameKind kind);
  void run();
  bool write_out(std::vector<std::uint8_t>& bytes);
  void finish();
  void fail(int error);

  const std::string path_;
  int fd_;
  const std::vector<PortInfo> ports_;
  const Limits limits_;

  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::vector<std::uint8_t> pending_;  // encoded, waiting for the thread
  std::vector<Lost> lost_;             // per port, since the last gap was marked
  std::map<int, std::uint32_t> frame_interfaces_;  // port * 3 + kind -> interface number
  std::uint32_t interfaces_ = 0;
  std::vector<std::uint8_t> last_lines_;  // per port, for status records
  Status status_;
  bool stopping_ = false;
  std::atomic<bool> failed_ = false;
  std::thread thread_;
};

}  // namespace capture
