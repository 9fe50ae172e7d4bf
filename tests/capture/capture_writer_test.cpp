// The capture writer: what it writes reads back the same, a disk that fails stops it with the
// path and the reason, a disk that does not keep up loses records in the open, and it writes
// without being stopped.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "capture/capture_reader.h"
#include "capture/capture_writer.h"

namespace {

using capture::CaptureReader;
using capture::CaptureRecord;
using capture::CaptureWriter;
using capture::Direction;
using capture::FrameKind;
using capture::SerialEvent;

constexpr std::int64_t kStart = 1'700'000'000'000'000;

const std::vector<capture::PortInfo> kPorts = {{"Port A", "/dev/ttyUSB0", "9600 8N1, no flow control"},
                                               {"Port B", "tcp://bench:4001", "115200 8N1, no flow control"}};

// Waits until `condition` holds, up to `seconds`.
template <class Condition>
bool eventually(Condition condition, int seconds = 10) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

class Folder {
 public:
  Folder() {
    char pattern[] = "/tmp/quillport-writer-XXXXXX";
    path_ = ::mkdtemp(pattern);
  }
  ~Folder() { std::filesystem::remove_all(path_); }
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

std::vector<CaptureRecord> read_back(const std::string& path, CaptureReader& reader) {
  EXPECT_TRUE(reader.open(path)) << reader.error();
  std::vector<CaptureRecord> records;
  while (std::optional<CaptureRecord> record = reader.next()) records.push_back(std::move(*record));
  EXPECT_EQ(reader.error(), "");
  return records;
}

std::vector<std::uint8_t> pattern(std::size_t size) {
  std::vector<std::uint8_t> bytes(size);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + i / 251);
  return bytes;
}

TEST(CaptureWriter, WhatItWritesReadsBackTheSame) {
  Folder folder;
  const std::string path = folder.file("round.pcapng");
  const std::vector<std::uint8_t> text = {'A', 'T', '\r', '\n'};
  const std::vector<std::uint8_t> icni = {0xEE, 0x05, 0x00, 0x05};
  const std::vector<std::uint8_t> long_block = pattern(100'000);  // more than one record holds
  std::string error;
  {
    const auto writer = CaptureWriter::create(path, kPorts, error);
    ASSERT_TRUE(writer) << error;
    EXPECT_TRUE(writer->block(0, {Direction::Sent, kStart, text, capture::lines::kDtr}));
    EXPECT_TRUE(writer->comment(1, kStart + 5, "Port B set to 115200"));
    EXPECT_TRUE(writer->frame(1, FrameKind::Icni, Direction::Received, kStart + 9, icni));
    EXPECT_TRUE(writer->block(1, {Direction::Received, kStart + 20, long_block, capture::lines::kCts}));
    EXPECT_FALSE(writer->block(2, {Direction::Received, kStart, text, 0}));  // no such port
    EXPECT_FALSE(writer->comment(-1, kStart, "nowhere"));
  }  // the destructor stops the writer and writes everything
  CaptureReader reader;
  const std::vector<CaptureRecord> records = read_back(path, reader);
  ASSERT_EQ(records.size(), 5u);
  EXPECT_EQ(records[0].interface, 0u);
  EXPECT_EQ(records[0].time_ns, kStart * 1000);
  EXPECT_EQ(records[0].direction, Direction::Sent);
  EXPECT_EQ(records[0].lines, capture::lines::kDtr);
  EXPECT_EQ(records[0].bytes, text);
  EXPECT_EQ(records[1].event, SerialEvent::StatusChange);
  EXPECT_EQ(records[1].comment, "Port B set to 115200");
  EXPECT_TRUE(records[1].bytes.empty());
  EXPECT_EQ(records[2].link_type, capture::kLinkIcni);
  EXPECT_EQ(records[2].direction, Direction::Received);
  EXPECT_EQ(records[2].bytes, icni);
  std::vector<std::uint8_t> joined = records[3].bytes;
  joined.insert(joined.end(), records[4].bytes.begin(), records[4].bytes.end());
  EXPECT_EQ(joined, long_block);
  EXPECT_EQ(records[4].time_ns, (kStart + 20) * 1000);

  ASSERT_EQ(reader.interfaces().size(), 3u);
  EXPECT_EQ(reader.interfaces()[1].name, "Port B");
  EXPECT_EQ(reader.interfaces()[1].description, "tcp://bench:4001, 115200 8N1, no flow control");
  EXPECT_EQ(reader.interfaces()[2].name, "Port B ICNI");
}

TEST(CaptureWriter, AFullDiskStopsTheCaptureWithThePathAndTheReason) {
  std::string error;
  const auto writer = CaptureWriter::create("/dev/full", kPorts, error);
  ASSERT_TRUE(writer) << error;
  const std::vector<std::uint8_t> bytes = pattern(2048);
  writer->block(0, {Direction::Received, kStart, bytes, 0});
  ASSERT_TRUE(eventually([&] { return writer->failed(); }));
  EXPECT_EQ(writer->status().error, std::string("/dev/full: ") + std::strerror(ENOSPC));
  EXPECT_FALSE(writer->block(0, {Direction::Received, kStart, bytes, 0}));
  writer->stop();
  EXPECT_EQ(writer->status().error, std::string("/dev/full: ") + std::strerror(ENOSPC));
}

TEST(CaptureWriter, AFileThatCannotBeMadeIsNamedWithTheReason) {
  std::string error;
  EXPECT_FALSE(CaptureWriter::create("/nonexistent/folder/a.pcapng", kPorts, error));
  EXPECT_EQ(error, std::string("/nonexistent/folder/a.pcapng: ") + std::strerror(ENOENT));
}

TEST(CaptureWriter, WritesEachSecondWithoutBeingStopped) {
  Folder folder;
  const std::string path = folder.file("live.pcapng");
  std::string error;
  const auto writer = CaptureWriter::create(path, kPorts, error);
  ASSERT_TRUE(writer) << error;
  const std::vector<std::uint8_t> bytes = pattern(100);
  writer->block(0, {Direction::Received, kStart, bytes, 0});
  ASSERT_TRUE(eventually([&] { return writer->status().file_bytes > 0; }));
  CaptureReader reader;
  ASSERT_EQ(read_back(path, reader).size(), 1u);
}

// A disk that does not keep up: a fifo nobody reads until the buffer is full.
TEST(CaptureWriter, RecordsASlowDiskCannotTakeAreCountedAndMarkedInTheFile) {
  Folder folder;
  const std::string path = folder.file("slow.fifo");
  ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
  const int reader_fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader_fd, 0);
  std::string error;
  CaptureWriter::Limits limits;
  limits.buffer_bytes = 64 * 1024;
  const auto writer = CaptureWriter::create(path, kPorts, error, limits);
  ASSERT_TRUE(writer) << error;
  const std::vector<std::uint8_t> bytes = pattern(2048);
  // The pipe takes 64 KiB, the buffer 64 KiB more; then records are dropped.
  int taken = 0;
  for (int i = 0; i < 1000; ++i)
    if (writer->block(0, {Direction::Received, kStart + i, bytes, 0})) ++taken;
  const CaptureWriter::Status full = writer->status();
  EXPECT_GT(full.lost_records, 0u);
  EXPECT_EQ(full.lost_records + static_cast<std::uint64_t>(taken), 1000u);
  EXPECT_EQ(full.lost_bytes, full.lost_records * bytes.size());

  std::vector<std::uint8_t> file;
  std::thread drain([&] {
    std::vector<std::uint8_t> chunk(65536);
    for (;;) {
      const ssize_t n = ::read(reader_fd, chunk.data(), chunk.size());
      if (n > 0) file.insert(file.end(), chunk.begin(), chunk.begin() + n);
      if (n == 0) break;
      if (n < 0) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  });
  // Records keep being dropped, and counted, until the drained disk takes one.
  ASSERT_TRUE(eventually([&] { return writer->block(0, {Direction::Received, kStart + 2000, bytes, 0}); }));
  writer->stop();
  const CaptureWriter::Status end = writer->status();
  EXPECT_GE(end.lost_records, full.lost_records);
  drain.join();
  ::close(reader_fd);

  CaptureReader reader;
  ASSERT_TRUE(reader.open_bytes(file, "slow.fifo")) << reader.error();
  std::vector<CaptureRecord> lost;
  std::size_t data = 0;
  while (std::optional<CaptureRecord> record = reader.next()) {
    if (record->event == SerialEvent::CaptureDataLost) lost.push_back(*record);
    if (record->event == SerialEvent::DataRxStart) ++data;
  }
  EXPECT_EQ(reader.error(), "");
  ASSERT_EQ(lost.size(), 1u);
  EXPECT_EQ(lost[0].comment, "Quillport dropped " + std::to_string(end.lost_records) + " records (" +
                                 std::to_string(end.lost_bytes) + " bytes) here: the disk did not keep up");
  EXPECT_EQ(lost[0].time_ns, (kStart + taken) * 1000);  // where the first dropped record was
  EXPECT_EQ(data, static_cast<std::size_t>(taken) + 1);
}

}  // namespace
