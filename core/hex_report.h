// The ways the terminal core tells the user that something failed: modal boxes with OK and no
// owner, each returning when dismissed.
#pragma once

#include <string>
#include <string_view>

#include "platform/dialog_host.h"

void hex_dbg_msg(const char* text);                // caption "Quillport"
void hex_err_msg(const char* text);                // "%s = %d" with errno, "Quillport System Error"
void hex_errcode_msg(const char* text, int code);  // "%s = %d" with code, "Quillport Internal Error"
// hex_err_msg's box for error number `error`, with a second line a person can act on, such as
// "/x/y.htm: No such file or directory" (see hex_os_reason).
void hex_err_msg(const char* text, int error, std::string_view detail);
// "`subject`: the OS's words for `error`".
std::string hex_os_reason(std::string_view subject, int error);
// Starts dialog timer `id`; one the host refuses is reported ("Timer is broken").
void hex_start_timer(platform::DialogHost& hwnd, int id, unsigned period);
