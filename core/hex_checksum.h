// Check values over a message: the CRC-16 of X.25/HDLC, a CRC-32 started at 0, the arithmetic sum and
// the exclusive or; the CheckSum command that shows one of them, and the octets frames carry.
//
// The CRC routines return the register without its final complement; the complement is what goes
// into frames (and what the box shows after "!="). The sum and the exclusive or are not complemented.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "platform/dialog_host.h"
#include "protocol/checks.h"

// The reflected form of the ITU-T polynomial x^16 + x^12 + x^5 + 1.
inline constexpr std::uint16_t CRC_POLY = protocol::kCrc16Poly;

// The reflected CRC-32 table of IEEE 802.3 (0xEDB88320).
inline const std::array<std::uint32_t, 256>& crc_32_tab = protocol::kCrc32Table;

// The CRC-16 register over `length` bytes, started at 0xFFFF, bit by bit; 0x0000 for no bytes.
std::uint16_t crc16(const char* data_p, int length);

// The CRC-32 register over `len` bytes, started at 0, one table lookup a byte.
std::uint32_t Enc_Get_CRC(const char* data, unsigned len);

// The CheckSum button: the check type selected in IDC_SUM over the bytes of the message field, in a
// box. With no check type selected (text typed into the selector) the box says so.
void hex_checksum(platform::DialogHost& hwndDlg);

// Most octets a check value has (CRC-32).
inline constexpr int HEX_CHECK_MAX = 4;

// Writes the check value of type `check` (HEX_CRC16 .. HEX_XOR) over `message` into `out`, least
// significant octet first, and returns its octet count: 2, 4, 1, 1; 0 for any other type.
int hex_check_value(int check, std::span<const std::uint8_t> message,
                    std::span<std::uint8_t, HEX_CHECK_MAX> out);
