// A capture file read whole, for the tests of captures made and replayed by the window.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "capture/capture_reader.h"

namespace testsupport {

struct CaptureFile {
  std::vector<capture::CaptureInterface> interfaces;
  std::vector<capture::CaptureRecord> records;

  // The bytes of interface `interface`'s records that went `direction`, one after the other.
  std::string bytes(std::size_t interface, capture::Direction direction) const {
    std::string all;
    for (const capture::CaptureRecord& r : records)
      if (r.interface == interface && r.direction == direction) all.append(r.bytes.begin(), r.bytes.end());
    return all;
  }
  std::vector<std::string> comments(std::size_t interface) const {
    std::vector<std::string> all;
    for (const capture::CaptureRecord& r : records)
      if (r.interface == interface && !r.comment.empty()) all.push_back(r.comment);
    return all;
  }
  // The interface named `name`; interfaces.size() when there is none.
  std::size_t interface_named(const std::string& name) const {
    std::size_t i = 0;
    while (i < interfaces.size() && interfaces[i].name != name) ++i;
    return i;
  }
};

inline CaptureFile read_capture(const std::string& path) {
  capture::CaptureReader reader;
  CaptureFile file;
  EXPECT_TRUE(reader.open(path)) << reader.error();
  while (std::optional<capture::CaptureRecord> record = reader.next()) file.records.push_back(std::move(*record));
  EXPECT_EQ(reader.error(), "");
  file.interfaces = reader.interfaces();
  return file;
}

}  // namespace testsupport
