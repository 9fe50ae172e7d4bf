// pcapng blocks as we write them: little-endian, one section, times in microseconds.
//
// Every block is [type u32][total length u32][body][total length u32], the body padded to a
// multiple of 4 octets. Options are [code u16][length u16][value, padded to 4], ended by code 0.
// A capture is a Section Header, then Interface Descriptions (each before its first packet; their
// order gives their numbers 0, 1, 2...) and Enhanced Packet Blocks naming their interface.
// An interface says its time unit once (if_tsresol 6: microseconds); a packet's time is a 64-bit
// count of those units since 1970, split into two 32-bit halves.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "capture/capture_types.h"

namespace capture::pcapng {

inline constexpr std::uint32_t kSectionHeaderBlock = 0x0A0D0D0A;
inline constexpr std::uint32_t kInterfaceBlock = 1;
inline constexpr std::uint32_t kObsoletePacketBlock = 2;
inline constexpr std::uint32_t kSimplePacketBlock = 3;
inline constexpr std::uint32_t kEnhancedPacketBlock = 6;
inline constexpr std::uint32_t kByteOrderMagic = 0x1A2B3C4D;

inline constexpr std::uint16_t kOptEnd = 0;
inline constexpr std::uint16_t kOptComment = 1;
inline constexpr std::uint16_t kShbOs = 3;
inline constexpr std::uint16_t kShbUserApplication = 4;
inline constexpr std::uint16_t kIfName = 2;
inline constexpr std::uint16_t kIfDescription = 3;
inline constexpr std::uint16_t kIfTsresol = 9;
inline constexpr std::uint16_t kIfTsoffset = 14;
inline constexpr std::uint16_t kEpbFlags = 2;

// epb_flags bits 0-1: the packet's direction.
inline constexpr std::uint32_t kFlagInbound = 1;
inline constexpr std::uint32_t kFlagOutbound = 2;

// Wireshark takes no packet larger than this for most link types; longer data is cut to it.
inline constexpr std::size_t kMaxPacketData = 262144;

void append_section_header(std::vector<std::uint8_t>& out, std::string_view application);
void append_interface(std::vector<std::uint8_t>& out, std::uint16_t link_type, std::string_view name,
                      std::string_view description);

struct Packet {
  std::uint32_t interface = 0;
  std::int64_t time_us = 0;
  Direction direction = Direction::Unknown;
  std::span<const std::uint8_t> head;  // a pseudo-header before the bytes (RTAC header, PPP direction)
  std::span<const std::uint8_t> body;
  std::string_view comment;  // none when empty
};

// The octets append_packet adds for `packet`.
std::size_t packet_size(const Packet& packet);
void append_packet(std::vector<std::uint8_t>& out, const Packet& packet);

}  // namespace capture::pcapng
