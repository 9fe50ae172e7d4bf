#include "core/hex_report.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/desktop.h"

void hex_dbg_msg(const char* text) { platform::desktop().message_box(text, "Quillport"); }

// errno is taken before anything else runs: building the box must not change what is shown.
void hex_err_msg(const char* text) { hex_err_msg(text, errno, {}); }

void hex_err_msg(const char* text, int error, std::string_view detail) {
  char line[256];
  std::snprintf(line, sizeof line, "%s = %d", text, error);
  std::string shown = line;
  if (!detail.empty()) shown.append("\n").append(detail);
  platform::desktop().message_box(shown, "Quillport System Error");
}

std::string hex_os_reason(std::string_view subject, int error) {
  // The words follow the user's language; what the program decides never depends on them.
  return std::string(subject) + ": " + (error != 0 ? std::strerror(error) : "no reason given by the system");
}

void hex_start_timer(platform::DialogHost& hwnd, int id, unsigned period) {
  if (hwnd.start_timer(id, period) == 0) hex_err_msg("Timer is broken");
}

void hex_errcode_msg(const char* text, int code) {
  char line[256];
  std::snprintf(line, sizeof line, "%s = %d", text, code);
  platform::desktop().message_box(line, "Quillport Internal Error");
}
