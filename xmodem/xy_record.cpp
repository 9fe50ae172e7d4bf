#include "xmodem/xy_record.h"

#include "serial/ser.h"

const std::array<std::string_view, 19> DriverErrors = {
    "Unknown error",
    "Already active",
    "Cannot open file",
    "File is empty",
    "Expected startup character (NAK or 'C') not received",
    "Startup character was not NAK or 'C'",
    "Disk read error",
    "EOT character not ACKed",
    "Internal error",
    "Cancelled by other end",
    "Out of sync",
    "Retry limit exceeded",
    "Bad packet number",
    "Timed out awaiting incoming character",
    "No such file",
    "Port not active",
    "Port range",
    "Disk write error",
    "Aborted by user",
};

xyDataTypeTag xyList{};

std::string_view xyErrorText(int Code) {
  if (Code <= -300 && Code >= -318) return DriverErrors[static_cast<std::size_t>(-300 - Code)];
  if (Code <= -100 && Code >= -103) return TORVELerrors[static_cast<std::size_t>(-100 - Code)];
  if (Code <= -1 && Code >= -8) return PortErrors[static_cast<std::size_t>(-1 - Code)];
  return {};
}
