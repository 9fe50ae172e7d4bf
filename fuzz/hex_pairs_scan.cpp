// Any text read as hex pairs: nothing is written past a buffer sized for the text, the bytes are
// those a C library "%2x" scan with the three-character step reads, and they render and read back.
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "core/hex_display.h"
#include "core/hex_message.h"

namespace {

void require(bool condition) {
  if (!condition) std::abort();
}

// The scan done by the C library itself, one attempt per position.
std::vector<char> scanned_by_libc(std::string_view text) {
  std::vector<char> bytes;
  std::size_t pos = 0;
  while (pos < text.size()) {
    // The attempt sees its white space and two characters more: enough for "%2x", and cheap.
    std::size_t end = pos;
    while (end < text.size() && std::isspace(static_cast<unsigned char>(text[end]))) ++end;
    const std::string attempt(text.substr(pos, end - pos + 2));
    unsigned value = 0;
    if (std::sscanf(attempt.c_str(), "%2x", &value) == 1) {
      bytes.push_back(static_cast<char>(value & 0xFF));
      pos += 3;
    } else {
      pos += 1;
    }
  }
  return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const std::string_view typed(text.c_str());  // a text ends at its first NUL
  std::vector<char> bytes((typed.size() + 2) / 3);
  const int n = hex_hexstr_to_bin(text.c_str(), bytes.data());
  require(n >= 0 && static_cast<std::size_t>(n) <= bytes.size());
  bytes.resize(static_cast<std::size_t>(n));

  // Signs and "0x" are the C library's own extensions of a number; the scan leaves them out.
  if (typed.find_first_of("+-xX") == std::string_view::npos) require(bytes == scanned_by_libc(typed));

  std::vector<char> rendered(3 * bytes.size() + 1);
  hex_to_hexstr(bytes.data(), rendered.data(), n);
  std::vector<char> again(bytes.size() + 1);
  require(n == 0 || hex_hexstr_to_bin(rendered.data(), again.data()) == n);
  again.resize(bytes.size());
  require(n == 0 || again == bytes);
  return 0;
}
