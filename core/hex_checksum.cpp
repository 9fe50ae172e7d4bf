#include "core/hex_checksum.h"

#include <cstdio>

#include "core/hex.h"
#include "core/hex_message.h"
#include "core/hex_report.h"
#include "core/resource.h"

namespace {

std::span<const std::uint8_t> octets(const char* data, std::size_t length) {
  return {reinterpret_cast<const std::uint8_t*>(data), length};
}

}  // namespace

std::uint16_t crc16(const char* data_p, int length) {
  if (length <= 0) return 0x0000;
  return protocol::crc16_register(octets(data_p, static_cast<std::size_t>(length)));
}

std::uint32_t Enc_Get_CRC(const char* data, unsigned len) {
  return protocol::crc32_register(octets(data, len));
}

int hex_check_value(int check, std::span<const std::uint8_t> message,
                    std::span<std::uint8_t, HEX_CHECK_MAX> out) {
  std::uint32_t value = 0;
  int width = 0;
  switch (check) {
    case HEX_CRC16:
      value = static_cast<std::uint16_t>(~protocol::crc16_register(message));
      width = 2;
      break;
    case HEX_CRC32:
      value = ~protocol::crc32_register(message);
      width = 4;
      break;
    case HEX_SUM:
      value = protocol::sum8(message);
      width = 1;
      break;
    case HEX_XOR:
      value = protocol::xor8(message);
      width = 1;
      break;
    default: return 0;
  }
  for (int i = 0; i < width; ++i)
    out[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (8 * i));
  return width;
}

void hex_checksum(platform::DialogHost& hwndDlg) {
  const int check = hwndDlg.selected_entry(IDC_SUM);
  HexMessageText text{};
  if (!hex_read_msg(hwndDlg, text)) return;
  std::array<char, HEX_MAX_STRING> data{};
  const int n = hex_hexstr_to_bin(text.data(), data.data());
  char box[64];
  switch (check) {
    case HEX_CRC16: {
      const std::uint16_t reg = crc16(data.data(), n);
      std::snprintf(box, sizeof box, "CRC 16 (ITU) = %04X, != %04X", static_cast<unsigned>(reg),
                    static_cast<unsigned>(static_cast<std::uint16_t>(~reg)));
      break;
    }
    case HEX_CRC32: {
      const std::uint32_t reg = Enc_Get_CRC(data.data(), static_cast<unsigned>(n));
      std::snprintf(box, sizeof box, "CRC 32 = %08X, != %08X", static_cast<unsigned>(reg),
                    static_cast<unsigned>(~reg));
      break;
    }
    case HEX_SUM:
      std::snprintf(box, sizeof box, "Arithmetic Checksum = %02X",
                    static_cast<unsigned>(protocol::sum8(octets(data.data(), static_cast<std::size_t>(n)))));
      break;
    case HEX_XOR:
      std::snprintf(box, sizeof box, "Modulo 2 XOR Checksum = %02X",
                    static_cast<unsigned>(protocol::xor8(octets(data.data(), static_cast<std::size_t>(n)))));
      break;
    default: hex_dbg_msg("No check type selected"); return;
  }
  hex_dbg_msg(box);
}
