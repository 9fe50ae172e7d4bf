// What a capture holds, in the words of both its writer and its reader: which way bytes went, the
// control lines beside them, and the link types of the interfaces a Quillport capture has.
//
// Raw line bytes go on one RTAC Serial interface per terminal port. Frames the decoders find go on
// interfaces of their own, one per port and kind, with a link type Wireshark decodes:
//   PPP   LINKTYPE_PPP_WITH_DIR (204): Wireshark's own PPP dissector (LCP, IPCP, IP...)
//   HDLC  LINKTYPE_USER12 (159) and ICNI LINKTYPE_USER13 (160): no built-in type fits a bare HDLC
//         frame (address, control, information, FCS) or an ICNI frame, so tools/wireshark/
//         quillport.lua decodes them. Two of the last user types are taken so the first ones stay
//         free for whatever the user maps there.
#pragma once

#include <cstdint>
#include <string>

namespace capture {

inline constexpr std::uint16_t kLinkRtacSerial = 250;
inline constexpr std::uint16_t kLinkPppWithDir = 204;
inline constexpr std::uint16_t kLinkHdlc = 159;  // LINKTYPE_USER12
inline constexpr std::uint16_t kLinkIcni = 160;  // LINKTYPE_USER13

enum class Direction : std::uint8_t { Unknown, Received, Sent };

enum class FrameKind : std::uint8_t { Hdlc, Ppp, Icni };

std::uint16_t link_type_of(FrameKind kind);
const char* frame_kind_name(FrameKind kind);  // "HDLC", "PPP", "ICNI"

// Control-line bits as RTAC Serial records carry them; 0 where the line is off or not known.
namespace lines {
inline constexpr std::uint8_t kCts = 0x01;
inline constexpr std::uint8_t kDcd = 0x02;
inline constexpr std::uint8_t kDsr = 0x04;
inline constexpr std::uint8_t kRts = 0x08;
inline constexpr std::uint8_t kDtr = 0x10;
inline constexpr std::uint8_t kRing = 0x20;
}  // namespace lines

// A terminal port as a capture describes it.
struct PortInfo {
  std::string name;      // "Port A"
  std::string device;    // "/dev/ttyUSB0", or a network address
  std::string settings;  // "9600 8N1, no flow control"
};

// The interface description of a port: its device or address and its settings.
std::string describe_port(const PortInfo& port);

}  // namespace capture
