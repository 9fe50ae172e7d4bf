// XMODEM on the wire. A packet reads, byte by byte:
//
//   SOH | STX     number      255 - number    data            check
//   0x01: 128     0..255      complement      128 or 1024     checksum mode: 1 byte, sum of data mod 256
//   0x02: 1024    (mod 256)                   bytes           CRC mode: 2 bytes, CRC-16/XMODEM, high first
//
// Single bytes between packets: EOT ends a file, ACK/NAK answer a packet, CAN cancels, and the
// receiver's start character (NAK or 'C') picks the check. Batch packet 0 holds the file name, a NUL,
// the size in decimal and zeros to 128 bytes; an all-zero packet 0 ends the batch.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

inline constexpr std::uint8_t SOH = 0x01;
inline constexpr std::uint8_t STX = 0x02;
inline constexpr std::uint8_t EOT = 0x04;
inline constexpr std::uint8_t ACK = 0x06;
inline constexpr std::uint8_t NAK = 0x15;
inline constexpr std::uint8_t CAN = 0x18;
inline constexpr std::uint8_t CRC_NCG = 'C';

inline constexpr int SHORT_PACKET = 128;
inline constexpr int LONG_PACKET = 1024;

// The three bytes before the data.
struct PacketHeader {
  std::uint8_t type;        // SOH or STX
  std::uint8_t number;      // packet number mod 256
  std::uint8_t complement;  // 255 - number
};

inline constexpr PacketHeader header_for(int packet_nbr, int packet_size) {
  const auto number = static_cast<std::uint8_t>(packet_nbr & 0xFF);
  return {packet_size == LONG_PACKET ? STX : SOH, number, static_cast<std::uint8_t>(255 - number)};
}

// CRC-16/XMODEM: polynomial 0x1021, start 0, not reflected, no final XOR, sent high byte first.
// (HDLC and PPP use the other CRC-16: reflected 0x8408, start 0xFFFF.)
inline constexpr std::uint16_t POLY = 0x1021;

// Entry i of the table: the CRC register after shifting the byte i through it from 0.
inline constexpr std::uint16_t CalcTable(std::uint16_t data, std::uint16_t genpoly, std::uint16_t accum) {
  data = static_cast<std::uint16_t>(data << 8);
  for (int bit = 0; bit < 8; ++bit) {
    const bool top_differs = ((data ^ accum) & 0x8000) != 0;
    accum = static_cast<std::uint16_t>(top_differs ? (accum << 1) ^ genpoly : accum << 1);
    data = static_cast<std::uint16_t>(data << 1);
  }
  return accum;
}

inline constexpr std::array<std::uint16_t, 256> CRCtable = [] {
  std::array<std::uint16_t, 256> table{};
  for (std::size_t i = 0; i < table.size(); ++i) table[i] = CalcTable(static_cast<std::uint16_t>(i), POLY, 0);
  return table;
}();

// One byte into a CRC-16/XMODEM register.
inline std::uint16_t UpdateCRC(std::uint16_t crc, std::uint8_t byte) {
  return static_cast<std::uint16_t>((crc << 8) ^ CRCtable[static_cast<std::uint8_t>((crc >> 8) ^ byte)]);
}
