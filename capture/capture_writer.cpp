#include "capture/capture_writer.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

#include "capture/pcapng.h"

namespace capture {

namespace {

constexpr std::size_t kEagerBytes = 1024 * 1024;  // wakes the thread before its second is up
constexpr std::size_t kRecordOverhead = 256;      // block, header and options around the bytes
constexpr int kFrameKinds = 3;

std::string reason(int error) { return std::error_code(error, std::generic_category()).message(); }

std::string lost_text(std::uint64_t records, std::uint64_t bytes) {
  return "Quillport dropped " + std::to_string(records) + " records (" + std::to_string(bytes) +
         " bytes) here: the disk did not keep up";
}

}  // namespace

std::unique_ptr<CaptureWriter> CaptureWriter::create(const std::string& path, std::vector<PortInfo> ports,
                                                     std::string& error) {
  return create(path, std::move(ports), error, Limits{});
}

std::unique_ptr<CaptureWriter> CaptureWriter::create(const std::string& path, std::vector<PortInfo> ports,
                                                     std::string& error, Limits limits) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) {
    error = path + ": " + reason(errno);
    return nullptr;
  }
  error.clear();
  return std::unique_ptr<CaptureWriter>(new CaptureWriter(path, fd, std::move(ports), limits));
}

CaptureWriter::CaptureWriter(std::string path, int fd, std::vector<PortInfo> ports, Limits limits)
    : path_(std::move(path)), fd_(fd), ports_(std::move(ports)), limits_(limits), lost_(ports_.size()),
      last_lines_(ports_.size(), 0) {
  pcapng::append_section_header(pending_, "Quillport");
  for (const PortInfo& port : ports_) pcapng::append_interface(pending_, kLinkRtacSerial, port.name, describe_port(port));
  interfaces_ = static_cast<std::uint32_t>(ports_.size());
  thread_ = std::thread([this] { run(); });
}

CaptureWriter::~CaptureWriter() { stop(); }

bool CaptureWriter::block(int port, const LineBlock& block) {
  std::lock_guard lock(mutex_);
  if (!admit(port, block.bytes.size(), block.time_us)) return false;
  append_line_block(pending_, static_cast<std::uint32_t>(port), block);
  last_lines_[static_cast<std::size_t>(port)] = block.lines;
  ++status_.records;
  if (pending_.size() >= kEagerBytes) wake_.notify_one();
  return true;
}

bool CaptureWriter::frame(int port, FrameKind kind, Direction direction, std::int64_t time_us,
                          std::span<const std::uint8_t> frame) {
  std::lock_guard lock(mutex_);
  if (!admit(port, frame.size() + kRecordOverhead, time_us)) return false;
  append_frame(pending_, frame_interface(port, kind), kind, direction, time_us, frame);
  ++status_.records;
  return true;
}

bool CaptureWriter::comment(int port, std::int64_t time_us, std::string_view text) {
  std::lock_guard lock(mutex_);
  if (!admit(port, text.size(), time_us)) return false;
  append_serial_event(pending_, static_cast<std::uint32_t>(port), time_us, SerialEvent::StatusChange,
                      last_lines_[static_cast<std::size_t>(port)], text);
  ++status_.records;
  return true;
}

// Under the lock: whether a record of about `bytes` may go into the buffer.
bool CaptureWriter::admit(int port, std::size_t bytes, std::int64_t time_us) {
  if (port < 0 || static_cast<std::size_t>(port) >= ports_.size() || stopping_ || failed()) return false;
  const std::size_t room = bytes + kRecordOverhead * (1 + bytes / kMaxRecordBytes + ports_.size());
  if (pending_.size() + room > limits_.buffer_bytes) {
    Lost& lost = lost_[static_cast<std::size_t>(port)];
    if (lost.records == 0) lost.first_time_us = time_us;
    ++lost.records;
    lost.bytes += bytes;
    ++status_.lost_records;
    status_.lost_bytes += bytes;
    return false;
  }
  mark_losses();
  return true;
}

void CaptureWriter::mark_losses() {
  for (std::size_t port = 0; port < lost_.size(); ++port) {
    Lost& lost = lost_[port];
    if (lost.records == 0) continue;
    append_serial_event(pending_, static_cast<std::uint32_t>(port), lost.first_time_us, SerialEvent::CaptureDataLost,
                        last_lines_[port], lost_text(lost.records, lost.bytes));
    lost = Lost{};
  }
}

// Under the lock: the interface of `port`'s frames of `kind`, described before its first frame.
std::uint32_t CaptureWriter::frame_interface(int port, FrameKind kind) {
  const int key = port * kFrameKinds + static_cast<int>(kind);
  if (const auto known = frame_interfaces_.find(key); known != frame_interfaces_.end()) return known->second;
  const PortInfo& info = ports_[static_cast<std::size_t>(port)];
  const std::string kind_name = frame_kind_name(kind);
  pcapng::append_interface(pending_, link_type_of(kind), info.name + " " + kind_name,
                           kind_name + " frames decoded from " + describe_port(info));
  frame_interfaces_[key] = interfaces_;
  return interfaces_++;
}

void CaptureWriter::run() {
  std::vector<std::uint8_t> writing;
  std::unique_lock lock(mutex_);
  for (;;) {
    wake_.wait_for(lock, limits_.flush_every, [this] { return stopping_ || pending_.size() >= kEagerBytes; });
    if (pending_.empty()) {
      if (stopping_) break;
      continue;
    }
    writing.swap(pending_);
    lock.unlock();
    const bool written = write_out(writing);
    lock.lock();
    if (!written) break;
  }
  lock.unlock();
  finish();
}

// On the thread, without the lock: writes all of `bytes` and empties it.
bool CaptureWriter::write_out(std::vector<std::uint8_t>& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      fail(n < 0 ? errno : ENOSPC);  // a regular file that takes nothing is full
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  bytes.clear();
  std::lock_guard lock(mutex_);
  status_.file_bytes += done;
  return true;
}

void CaptureWriter::finish() {
  // A filesystem may report a full disk or a lost write only at sync or close. Devices and some
  // special files refuse to sync (EINVAL, EROFS): nothing was lost there.
  if (!failed() && ::fdatasync(fd_) != 0 && errno != EINVAL && errno != EROFS) fail(errno);
  if (::close(fd_) != 0 && !failed() && errno != EINTR) fail(errno);
  fd_ = -1;
}

void CaptureWriter::fail(int error) {
  std::lock_guard lock(mutex_);
  if (failed()) return;
  status_.error = path_ + ": " + reason(error);
  pending_.clear();
  failed_.store(true, std::memory_order_relaxed);
}

void CaptureWriter::stop() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_one();
  if (thread_.joinable()) thread_.join();
}

CaptureWriter::Status CaptureWriter::status() const {
  std::lock_guard lock(mutex_);
  return status_;
}

}  // namespace capture
