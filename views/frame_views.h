// The HDLC, PPP and ICNI views: received bytes are cut into frames, and each completed frame is shown
// as one line "\nRx<send port + 1> <time stamp> " followed by " %02X" per octet, in the send port's
// receive colour.
//
// How it works
//   The collection state (msg, msgindex, and the HDLC bit state or the ICNI length) lives in the send
//   port's record, whatever port delivered the block: bytes of both ports pass through one state, and
//   the three views share msg and msgindex, so a view switch continues the half-collected frame;
//   octets already shown as a frame are never part of it. A frame keeps its first HEX_MAX_STRING
//   octets. Frame lines are written into the caller's text buffer; a frame too long for one line of
//   it (more than 2300 octets in a buffer of HEX_MAX_STRING + 1) is shown whole over several lines,
//   each under its own header. A PPP frame is unescaped where it was collected.
#pragma once

#include <cstdint>
#include <span>

#include "platform/dialog_host.h"

// `bytes` as received; `text` the caller's buffer for frame lines (at least 16 characters).
void hex_show_hdlc(platform::DialogHost& hwnd, std::span<const std::uint8_t> bytes, std::span<char> text);
void hex_show_ppp(platform::DialogHost& hwnd, std::span<const std::uint8_t> bytes, std::span<char> text);
void hex_show_icni(platform::DialogHost& hwnd, std::span<const std::uint8_t> bytes, std::span<char> text);

// The same with the decoders' classic signatures: `raw` holds `length` received bytes; `msg` is the
// text buffer, of HEX_MAX_STRING + 1 characters, and may be `raw` itself. Each returns 0.
int hex_parse_hdlc(platform::DialogHost& hwnd, const char* raw, char* msg, int length);
int hex_parse_ppp(platform::DialogHost& hwnd, const char* raw, char* msg, int length);
int hex_parse_icni(platform::DialogHost& hwnd, const char* raw, char* msg, int length);
