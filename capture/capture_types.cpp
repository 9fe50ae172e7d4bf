#include "capture/capture_types.h"

namespace capture {

std::uint16_t link_type_of(FrameKind kind) {
  switch (kind) {
    case FrameKind::Hdlc: return kLinkHdlc;
    case FrameKind::Ppp: return kLinkPppWithDir;
    case FrameKind::Icni: return kLinkIcni;
  }
  return kLinkIcni;
}

const char* frame_kind_name(FrameKind kind) {
  switch (kind) {
    case FrameKind::Hdlc: return "HDLC";
    case FrameKind::Ppp: return "PPP";
    case FrameKind::Icni: return "ICNI";
  }
  return "ICNI";
}

std::string describe_port(const PortInfo& port) {
  if (port.settings.empty()) return port.device;
  return port.device + ", " + port.settings;
}

}  // namespace capture
