// The check values a message can carry: two CRCs, an arithmetic sum and an exclusive or.
//
// Two CRC-16s exist in this program; this file holds the HDLC/PPP one (ITU-T X.25, ISO/IEC 13239:
// polynomial x^16 + x^12 + x^5 + 1 in reflected form 0x8408, register started at 0xFFFF). XMODEM's
// CRC-16 (0x1021, start 0, not reflected) is the transfer engine's own.
#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace protocol {

inline constexpr std::uint16_t kCrc16Poly = 0x8408;

// The CRC-16 register after the bytes, without the final complement (the complement is the frame
// check sequence). An empty message gives 0x0000, the complement of the start value.
std::uint16_t crc16_register(std::span<const std::uint8_t> bytes);

// The reflected CRC-32 of IEEE 802.3 (0xEDB88320), entry n being n after eight reflected steps.
extern const std::array<std::uint32_t, 256> kCrc32Table;

// The CRC-32 register after the bytes, started at 0 (not 0xFFFFFFFF) and not complemented; so
// "123456789" gives 0x2DFD2D88, not the usual check value.
std::uint32_t crc32_register(std::span<const std::uint8_t> bytes);

// The low eight bits of the sum, and the exclusive or, of the bytes.
std::uint8_t sum8(std::span<const std::uint8_t> bytes);
std::uint8_t xor8(std::span<const std::uint8_t> bytes);

}  // namespace protocol
