// Pasted text as it goes to the far end, and its cutting into chunks a slow device can take.
//
// Every line break of the text (CR LF, LF or CR) is sent as CR, as the Enter key sends it. The text
// is encoded as the terminal reads (UTF-8, or Latin-1 with '?' for a character beyond U+00FF).
// When the far end turned on bracketed paste (mode 2004) the text goes between ESC [ 200 ~ and
// ESC [ 201 ~, and the ESC characters of the text itself are left out, so that pasted text can
// neither end the bracket early nor have what follows taken for typed keys.
//
// A paste is cut into chunks of at most a given number of bytes, never inside a UTF-8 character,
// for the caller to send one by one at the pace the line takes.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "terminal/input_guard.h"

namespace terminal {

// The paste's text, line breaks and encoding done; `bracket_open` and `bracket_close` are empty
// unless the far end asked for bracketed paste.
std::string paste_bytes(std::string_view utf8_text, Decoding decoding, std::string_view bracket_open,
                        std::string_view bracket_close);

// `bytes` cut into pieces of at most `chunk_size` bytes (at least 4), each ending on a character
// boundary.
std::vector<std::string> cut_into_chunks(std::string_view bytes, std::size_t chunk_size);

}  // namespace terminal
