// The three ways the terminal core tells the user that something failed: modal boxes without an
// owner, each returning when dismissed.
#include <cerrno>
#include <cstdio>

#include "core/hex.h"
#include "platform/desktop.h"

void hex_dbg_msg(const char* text) { platform::desktop().message_box(text, "Quillport"); }

void hex_err_msg(const char* text) {
  const int last_error = errno;  // taken first: building the box must not change what is shown
  char line[256];
  std::snprintf(line, sizeof line, "%s = %d", text, last_error);
  platform::desktop().message_box(line, "Quillport Windows Error");
}

void hex_errcode_msg(const char* text, int code) {
  char line[256];
  std::snprintf(line, sizeof line, "%s = %d", text, code);
  platform::desktop().message_box(line, "Quillport Internal Error");
}
