// The HDLC, PPP and ICNI views: received bytes are cut into frames, and each completed frame is shown
// as one line "\nRx<send port + 1> <time stamp> " followed by " %02X" per octet, in the send port's
// receive colour.
//
// The collection state (msg, msgindex, and the HDLC bit state or the ICNI length) lives in the send
// port's record, whatever port delivered the block: bytes of both ports pass through one state, and
// the three views share msg and msgindex, so a view switch continues the half-collected frame. A
// frame keeps its first HEX_MAX_STRING octets. A frame too long for one line of the caller's text
// buffer (more than 2300 octets) is shown whole over several lines, each under its own header.
//
// `raw` holds `length` received bytes; `msg` is the text buffer for the frame lines, of
// HEX_MAX_STRING + 1 characters, and may be `raw` itself. Each returns 0.
#pragma once

#include "platform/dialog_host.h"

int hex_parse_hdlc(platform::DialogHost& hwnd, const char* raw, char* msg, int length);
int hex_parse_ppp(platform::DialogHost& hwnd, const char* raw, char* msg, int length);
int hex_parse_icni(platform::DialogHost& hwnd, const char* raw, char* msg, int length);
