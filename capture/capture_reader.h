// Reads capture files record by record: pcapng (either byte order, several sections and
// interfaces, each interface's time resolution and offset; blocks it has no use for are skipped)
// and classic pcap (either byte order, microsecond or nanosecond times).
//
// A record carries its interface, time and bytes. RTAC Serial records give their event, control
// lines and direction and lose their 12-octet header; PPP_WITH_DIR records lose their direction
// octet; other link types come as they are, with the direction pcapng's flags give.
//
// next() returns nothing at the end of the file, and also where the file is damaged or cut short:
// then error() says so, naming the file and the byte, and every record returned before it stands.
// A block longer than 16 MiB counts as damage rather than something to allocate.
#pragma once

#include <cstdint>
#include <istream>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "capture/byte_order.h"
#include "capture/capture_types.h"
#include "capture/serial_record.h"

namespace capture {

struct CaptureInterface {
  std::uint16_t link_type = 0;
  std::string name;         // if_name; empty in pcap
  std::string description;  // if_description
};

struct CaptureRecord {
  std::size_t interface = 0;  // index into interfaces()
  std::uint16_t link_type = 0;
  std::int64_t time_ns = 0;  // since 1970
  Direction direction = Direction::Unknown;
  std::optional<SerialEvent> event;  // RTAC Serial records only
  std::uint8_t lines = 0;            // RTAC Serial records only
  std::vector<std::uint8_t> bytes;
  std::string comment;
};

class CaptureReader {
 public:
  enum class Format { None, Pcap, Pcapng };

  // False with error() when the file cannot be read or is not a capture.
  bool open(const std::string& path);
  // The same for bytes in memory; `name` stands for the file in messages.
  bool open_bytes(std::span<const std::uint8_t> bytes, const std::string& name);

  std::optional<CaptureRecord> next();

  const std::vector<CaptureInterface>& interfaces() const { return interfaces_; }
  const std::string& error() const { return error_; }
  Format format() const { return format_; }

 private:
  struct Clock {
    std::uint64_t units_per_second = 1'000'000;
    std::int64_t offset_s = 0;
  };
  enum class Read { Whole, None, Part };

  bool start(std::unique_ptr<std::istream> in, const std::string& name);
  bool start_pcap(std::uint32_t magic);
  bool start_pcapng();
  std::optional<CaptureRecord> next_pcap();
  std::optional<CaptureRecord> next_pcapng();
  bool read_block_body(std::uint32_t type, std::uint32_t length);
  bool length_fits(std::uint32_t length, std::uint32_t least, const std::string& what);
  bool read_rest(std::uint32_t length, std::size_t taken);
  bool read_section_header();
  bool take_interface();
  std::optional<CaptureRecord> take_packet(std::uint32_t type);
  bool packet_fields(std::uint32_t type, std::uint32_t& interface, std::uint64_t& ts, std::span<const std::uint8_t>& data,
                     std::span<const std::uint8_t>& options);
  CaptureRecord make_record(std::size_t interface, std::int64_t time_ns, std::span<const std::uint8_t> data) const;
  Read read(std::uint8_t* into, std::size_t size);
  std::nullopt_t damaged(const std::string& what);
  std::nullopt_t cut_short();
  bool refuse(const std::string& why);

  std::unique_ptr<std::istream> in_;
  std::string name_;
  std::string error_;
  Format format_ = Format::None;
  ByteOrder order_ = ByteOrder::Little;
  std::uint64_t offset_ = 0;  // of the next unread byte
  std::uint64_t block_start_ = 0;
  std::uint64_t records_ = 0;
  std::vector<std::uint8_t> block_;

  std::vector<CaptureInterface> interfaces_;
  std::vector<Clock> clocks_;                // beside interfaces_
  std::vector<std::size_t> section_;         // this section's interface numbers -> interfaces_
  bool nanoseconds_ = false;                 // pcap
};

}  // namespace capture
