#include "core/hex_frame.h"

#include <algorithm>
#include <array>
#include <cstdio>

#include "core/hex.h"
#include "core/hex_checksum.h"
#include "core/hex_display.h"
#include "core/hex_message.h"
#include "core/hex_report.h"
#include "core/resource.h"
#include "protocol/hdlc.h"
#include "protocol/icni.h"
#include "protocol/ppp.h"

namespace {

struct FramePreset {
  int check;
  int view;
};

constexpr FramePreset kFramePresets[HEX_FRAME_MAX] = {
    {HEX_CRC16, HEX_HEX_VIEW},   // None
    {HEX_CRC16, HEX_HDLC_VIEW},  // HDLC
    {HEX_CRC16, HEX_PPP_VIEW},   // PPP
    {HEX_XOR, HEX_ICNI_VIEW},    // ICNI
};

// A frame at most doubles its message and check value (PPP).
constexpr std::size_t kLongestPayload = kLongestMessage + HEX_CHECK_MAX;
constexpr std::size_t kFrameRoom = protocol::ppp_frame_capacity(kLongestPayload);
static_assert(kFrameRoom >= protocol::hdlc_frame_capacity(kLongestPayload));
static_assert(kFrameRoom >= protocol::icni_frame_capacity(kLongestPayload));

// The longest frame whose text (three characters an octet) the field can hold.
constexpr std::size_t kLongestFrameText = HEX_MAX_STRING - 1;

}  // namespace

std::size_t hex_build_frame(int frame, int check, std::span<std::uint8_t> message,
                            std::span<std::uint8_t> out) {
  if (frame != HEX_HDLC && frame != HEX_PPP && frame != HEX_ICNI) return 0;
  if (message.size() > kLongestMessage) return 0;
  if (frame == HEX_ICNI) protocol::icni_set_length(message);
  std::array<std::uint8_t, kLongestPayload> room{};
  std::copy(message.begin(), message.end(), room.begin());
  std::array<std::uint8_t, HEX_CHECK_MAX> value{};
  const int width = hex_check_value(check, message, value);
  std::copy_n(value.begin(), width, room.begin() + static_cast<std::ptrdiff_t>(message.size()));
  const std::span<const std::uint8_t> payload(room.data(), message.size() + static_cast<std::size_t>(width));
  switch (frame) {
    case HEX_HDLC: return protocol::hdlc_encode(payload, out);
    case HEX_PPP: return protocol::ppp_encode(payload, out);
    default: return protocol::icni_encode(payload, out);
  }
}

void hex_frameit(platform::DialogHost& hwnd) {
  const int check = hwnd.selected_entry(IDC_SUM);
  const int frame = hwnd.selected_entry(IDC_FRAME);
  if (frame != HEX_HDLC && frame != HEX_PPP && frame != HEX_ICNI) {
    hex_msg_remember(hwnd);
    return;
  }
  HexMessageText text{};
  if (!hex_read_msg(hwnd, text)) return;
  std::array<char, kLongestMessage + 1> message{};
  const int n = hex_hexstr_to_bin(text.data(), message.data());
  std::array<std::uint8_t, kFrameRoom> octets{};
  const std::span bytes(reinterpret_cast<std::uint8_t*>(message.data()), static_cast<std::size_t>(n));
  const std::size_t length = hex_build_frame(frame, check, bytes, octets);
  if (3 * length > kLongestFrameText) {
    char box[64];
    std::snprintf(box, sizeof box, "Frame too long to send: %zu octets", length);
    hex_dbg_msg(box);
    return;
  }
  hex_to_hexstr(reinterpret_cast<const char*>(octets.data()), text.data(), static_cast<int>(length));
  hwnd.set_text(IDC_MSG, text.data());
  hex_msg_remember(hwnd);
}

void hex_frameChanged(platform::DialogHost& hwnd) {
  int frame = hwnd.selected_entry(IDC_FRAME);
  if (frame < 0 || frame >= HEX_FRAME_MAX) frame = HEX_NO_FRAME;
  const FramePreset& preset = kFramePresets[frame];
  hwnd.select_entry(IDC_SUM, preset.check);
  hwnd.select_entry(IDC_VIEW, preset.view);
  hex_ascii = 0;
  hex_view_mode = preset.view;
  hwnd.set_check(IDC_ECHO, platform::Check::Checked);
  hex_local_echo = 1;
}
