// The capture reader takes any bytes as a file: it reads records until the end or the damage, never
// past its buffers; every record names an interface the file described; once it reports damage it
// gives no more records; and reading the same bytes again gives the same records.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "capture/capture_reader.h"

namespace {

void require(bool condition) {
  if (!condition) std::abort();
}

std::vector<capture::CaptureRecord> read_all(std::span<const std::uint8_t> bytes, capture::CaptureReader& reader) {
  std::vector<capture::CaptureRecord> records;
  if (!reader.open_bytes(bytes, "fuzz")) {
    require(!reader.error().empty());
    return records;
  }
  while (std::optional<capture::CaptureRecord> record = reader.next()) {
    require(record->interface < reader.interfaces().size());
    require(record->link_type == reader.interfaces()[record->interface].link_type);
    require(record->bytes.size() <= bytes.size());
    records.push_back(std::move(*record));
  }
  if (!reader.error().empty()) require(!reader.next());
  return records;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> bytes(data, size);
  capture::CaptureReader first;
  capture::CaptureReader second;
  const std::vector<capture::CaptureRecord> a = read_all(bytes, first);
  const std::vector<capture::CaptureRecord> b = read_all(bytes, second);
  require(a.size() == b.size() && first.error() == second.error());
  for (std::size_t i = 0; i < a.size(); ++i) require(a[i].bytes == b[i].bytes && a[i].time_ns == b[i].time_ns);
  return 0;
}
