#include "shell/replay.h"

#include <algorithm>
#include <array>
#include <iterator>
#include <utility>
#include <chrono>
#include <cstdio>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "capture/capture_reader.h"
#include "core/hex.h"
#include "core/hex_display.h"
#include "core/hex_log.h"
#include "core/hex_report.h"
#include "core/line_record.h"
#include "core/resource.h"
#include "protocol/hex_pairs.h"
#include "views/view_switch.h"

using platform::DialogHost;

namespace {

using Clock = std::chrono::steady_clock;
using capture::CaptureRecord;
using capture::Direction;

constexpr std::size_t kBytesPerTick = 256 * 1024;
constexpr std::size_t kRecordsPerTick = 8192;
constexpr std::int64_t kNanosPerMilli = 1'000'000;

// What the views keep between blocks of a port: the ANSI parser's and the frame decoders' state.
struct Decoding {
  int ansi_code = 0, ansi_data = 0, ansi_data0 = 0, ansi_x = 0, ansi_y = 0, ansi_state = 0;
  int msglength = 255, msgindex = 0;
  std::array<char, HEX_MAX_STRING + 1> msg{};
  int bitcnt = 0;
  std::uint8_t byte = 0;
  int onecnt = 0;
};

void swap_decoding(HEX_OBJ_TYP& obj, Decoding& d) {
  std::swap(obj.ansi_code, d.ansi_code);
  std::swap(obj.ansi_data, d.ansi_data);
  std::swap(obj.ansi_data0, d.ansi_data0);
  std::swap(obj.ansi_x, d.ansi_x);
  std::swap(obj.ansi_y, d.ansi_y);
  std::swap(obj.ansi_state, d.ansi_state);
  std::swap(obj.msglength, d.msglength);
  std::swap(obj.msgindex, d.msgindex);
  std::swap_ranges(std::begin(obj.msg), std::end(obj.msg), d.msg.begin());
  std::swap(obj.bitcnt, d.bitcnt);
  std::swap(obj.byte, d.byte);
  std::swap(obj.onecnt, d.onecnt);
}

struct Replay {
  capture::CaptureReader reader;
  std::string path;
  std::vector<int> ports;  // per interface seen: the terminal port its records show on, -1 none
  int serial_interfaces = 0;
  std::optional<CaptureRecord> next;  // read and not yet due
  std::optional<std::int64_t> first_ns;
  bool paced = false;
  bool anchor_pending = false;  // paced from the next record on
  Clock::time_point anchor_at;  // paced: when the record at anchor_ns was reached
  std::int64_t anchor_ns = 0;
  bool showed = false;  // a line record was shown
  // The replay's own decoding, from a fresh start: a live frame half collected is neither cut
  // short nor mixed with replayed bytes, and the replay's frames are its own.
  std::array<Decoding, HEX_MAX_PORT> decoding;
};

// Puts the replay's decoding in place of the live one, or back.
void swap_decoding(Replay& r) {
  for (int port = 0; port < HEX_MAX_PORT; ++port) swap_decoding(hex_obj[port], r.decoding[static_cast<std::size_t>(port)]);
}

std::unique_ptr<Replay> replay;
std::vector<CaptureRecord> batch;
ReceiveText text;

// Frame headers and Tx lines print the time stamp: a replayed record shows its own time there.
class RecordStamp {
 public:
  explicit RecordStamp(std::uint16_t stamp) : saved_(hex_time_stamp) { hex_time_stamp = stamp; }
  ~RecordStamp() { hex_time_stamp = saved_; }
  RecordStamp(const RecordStamp&) = delete;
  RecordStamp& operator=(const RecordStamp&) = delete;

 private:
  std::uint16_t saved_;
};

void show_button(DialogHost& hwnd) {
  hwnd.set_check(IDC_REPLAY, replay ? platform::Check::Checked : platform::Check::Unchecked);
  hwnd.set_tooltip(IDC_REPLAY, replay ? "Replaying " + replay->path : "");
}

// A Quillport capture names its ports' interfaces; in another, the RTAC Serial ones count in order.
int port_of_interface(Replay& r, const capture::CaptureInterface& interface) {
  if (interface.link_type != capture::kLinkRtacSerial) return -1;
  for (int port = 0; port < HEX_MAX_PORT; ++port)
    if (interface.name == hex_port_name(port)) return port;
  const int port = r.serial_interfaces++;
  return port < HEX_MAX_PORT ? port : -1;
}

int port_of(Replay& r, std::size_t interface) {
  const std::vector<capture::CaptureInterface>& interfaces = r.reader.interfaces();
  while (r.ports.size() < interfaces.size()) r.ports.push_back(port_of_interface(r, interfaces[r.ports.size()]));
  return interface < r.ports.size() ? r.ports[interface] : -1;
}

void follow_pace(Replay& r, bool paced) {
  if (paced && !r.paced) r.anchor_pending = true;
  r.paced = paced;
}

bool due(Replay& r, const CaptureRecord& record) {
  if (!r.paced) return true;
  if (r.anchor_pending) {
    r.anchor_pending = false;
    r.anchor_at = Clock::now();
    r.anchor_ns = record.time_ns;
  }
  const auto waited = std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - r.anchor_at);
  return record.time_ns - r.anchor_ns <= waited.count();
}

// Takes the records due now into `batch`, within the tick's share; false at the end of the file.
bool take_due(Replay& r) {
  std::size_t bytes = 0;
  while (batch.size() < kRecordsPerTick && bytes < kBytesPerTick) {
    if (!r.next) r.next = r.reader.next();
    if (!r.next) return false;
    if (!r.first_ns) r.first_ns = r.next->time_ns;
    if (!due(r, *r.next)) return true;
    bytes += r.next->bytes.size();
    batch.push_back(std::move(*r.next));
    r.next.reset();
  }
  return true;
}

void show_received(DialogHost& hwnd, int port, const CaptureRecord& record) {
  hex_shown_live = false;
  hex_shown_us = record.time_ns / 1000;
  hex_show_block(hwnd, port, record.bytes, text);
  hex_shown_live = true;
}

// As Send shows what it sent: the text in the text views, else a Tx line of hexadecimal pairs.
void show_sent(DialogHost& hwnd, int port, const CaptureRecord& record) {
  if (!hex_local_echo) return;
  std::string shown;
  if (hex_ascii) {
    std::remove_copy(record.bytes.begin(), record.bytes.end(), std::back_inserter(shown), '\0');
  } else {
    char header[32];
    std::snprintf(header, sizeof header, "\nTx%d %5d ", port + 1, static_cast<int>(hex_time_stamp));
    shown = header;
    shown.resize(shown.size() + 3 * record.bytes.size());
    protocol::render_hex_pairs(record.bytes, std::span(shown).subspan(shown.size() - 3 * record.bytes.size()));
  }
  hex_show_in_trace(hwnd, hex_colour[port].tx, shown);
  hex_save_tx_log(port, shown.c_str(), static_cast<int>(shown.size()));
}

void show_record(DialogHost& hwnd, Replay& r, const CaptureRecord& record) {
  const int port = port_of(r, record.interface);
  if (port < 0 || record.bytes.empty() || record.direction == Direction::Unknown) return;
  r.showed = true;
  const RecordStamp stamp(static_cast<std::uint16_t>((record.time_ns - *r.first_ns) / kNanosPerMilli));
  if (record.direction == Direction::Received)
    show_received(hwnd, port, record);
  else
    show_sent(hwnd, port, record);
}

// The end of the file, or of what could be read of it: a damaged file, or one with nothing to show,
// is named in a box.
void finish(DialogHost& hwnd) {
  const std::string error = replay->reader.error();
  const std::string path = replay->path;
  const bool showed = replay->showed;
  replay.reset();
  show_button(hwnd);
  if (!error.empty())
    hex_dbg_msg(("Replay ended early: " + error).c_str());
  else if (!showed)
    hex_dbg_msg(("Replay: " + path + " holds no serial line records (RTAC Serial) to show").c_str());
}

}  // namespace

void win_replay_click(DialogHost& hwnd) {
  if (replay) {
    win_replay_end(hwnd);
    return;
  }
  char path[HEX_FILENAME_SIZE];
  if (!hex_file_dlg("pcapng", "Select a Capture File to replay", path)) {
    show_button(hwnd);
    return;
  }
  auto opened = std::make_unique<Replay>();
  if (!opened->reader.open(path)) {
    show_button(hwnd);
    hex_dbg_msg(("Replay: " + opened->reader.error()).c_str());
    return;
  }
  opened->path = path;
  replay = std::move(opened);
  show_button(hwnd);
}

void win_replay_tick(DialogHost& hwnd) {
  if (!replay) return;
  Replay& r = *replay;
  follow_pace(r, hwnd.check(IDC_PACED) == platform::Check::Checked);
  batch.clear();
  const bool more = take_due(r);
  // Records of one port are in order; the ports' readers may have reported theirs a little apart.
  std::stable_sort(batch.begin(), batch.end(),
                   [](const CaptureRecord& a, const CaptureRecord& b) { return a.time_ns < b.time_ns; });
  swap_decoding(r);
  for (const CaptureRecord& record : batch) show_record(hwnd, r, record);
  swap_decoding(r);
  if (!more) finish(hwnd);
}

void win_replay_end(DialogHost& hwnd) {
  replay.reset();
  show_button(hwnd);
}

bool win_replaying() { return replay != nullptr; }
