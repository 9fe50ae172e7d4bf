// Bytes written as hexadecimal text: " %02X" per byte, and the scan that reads such text back.
//
// The scan reads pairs the way a scanf "%02x" conversion does, stepping three characters a pair: at
// each position it skips white space and takes at most two hexadecimal digits; a number taken moves
// the position three characters on from where the attempt began (the pair and one separator),
// otherwise one character. So " 7E 01" and "7e,01" read 7E 01, while runs without separators read
// as the step falls ("0A0B0C" is 0A B0). Signs and "0x" are not digits here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace protocol {

// The text ends at its end or at its first NUL. Bytes that do not fit `out` are not read; the
// result is the number stored.
std::size_t parse_hex_pairs(std::string_view text, std::span<std::uint8_t> out);

// Writes " %02X" for each byte (3 characters a byte, upper case, no NUL) into `out`; bytes that do
// not fit are left out. Returns the characters written.
std::size_t render_hex_pairs(std::span<const std::uint8_t> bytes, std::span<char> out);

}  // namespace protocol
