// The HTML log of everything shown and sent, and the file prompt.
//
// A piece is an opening font tag with the colour of its port and direction, the text, and the
// closing tag, written as it arrives and flushed at once, so a crash loses nothing already shown.
// The text's '<', '>' and '&' are written as entities, so line data never becomes markup. Bytes
// above 0x7F are written as character references, so a browser shows the characters the window
// shows: the file declares no character set, and a browser left to guess one shows other letters.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "core/hex.h"
#include "core/hex_display.h"
#include "core/resource.h"
#include "platform/desktop.h"

namespace {

std::FILE* hex_logfile = nullptr;

constexpr std::string_view kHeader[] = {
    "<!doctype html public \"-//w3c//dtd html 4.0 transitional//en\">",
    "<html>\n",
    "<head>\n",
    "<meta name=\"Copyright (c) the Quillport developers\" content=\"Quillport Log File\">\n",
    "</head>\n",
    "<body><p>\n",
};
constexpr std::string_view kFooter[] = {"</p></body>\n", "</html>\n"};
constexpr std::string_view kClosingTag = "</font>";
constexpr std::size_t kOpeningTagLength = sizeof "<font color=\"#RRGGBB\">" - 1;

void write_log(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), hex_logfile);
  std::fflush(hex_logfile);
}

// What the log holds for one byte of text; `reference` is room for a numeric character reference.
std::string_view escaped(const char& ch, char (&reference)[8]) {
  switch (ch) {
    case '<':
      return "&lt;";
    case '>':
      return "&gt;";
    case '&':
      return "&amp;";
    default:
      break;
  }
  const auto byte = static_cast<unsigned char>(ch);
  if (byte < 0x80) return {&ch, 1};
  // 0x80-0x9F are C1 control codes, blank in the window; a browser reads any reference to them as
  // Windows-1252 punctuation (&#128; shows a euro sign), so they are marked as no character.
  if (byte < 0xA0) return "&#65533;";
  // The window draws bytes as Latin-1, whose characters are the first 256 of Unicode.
  std::snprintf(reference, sizeof reference, "&#%u;", static_cast<unsigned>(byte));
  return reference;
}

// A piece never exceeds HEX_MAX_STRING characters with its tags. Text that does not fit goes on in
// further pieces of the same colour, cut between characters (never inside an entity), so the log
// keeps every character.
void save_log(std::uint32_t rgb, const char* text) {
  if (!hex_log || hex_logfile == nullptr || text == nullptr) return;
  char opening[kOpeningTagLength + 1];
  std::snprintf(opening, sizeof opening, "<font color=\"#%06X\">", static_cast<unsigned>(rgb & 0xFFFFFF));
  constexpr std::size_t kRoom = HEX_MAX_STRING - kOpeningTagLength - kClosingTag.size();
  std::string piece;
  piece.reserve(HEX_MAX_STRING);
  const char* ch = text;
  char reference[8];
  do {
    piece.assign(opening);
    while (*ch != '\0') {
      const std::string_view unit = escaped(*ch, reference);
      if (piece.size() - kOpeningTagLength + unit.size() > kRoom) break;
      piece.append(unit);
      ++ch;
    }
    piece.append(kClosingTag);
    write_log(piece);
  } while (*ch != '\0');
}

// A FIFO without a reader would hold open() for good, and the window with it: the log is opened
// without waiting (such a FIFO fails with ENXIO), then written as any file.
std::FILE* open_log_file(const char* name) {
  const int fd = ::open(name, O_WRONLY | O_CREAT | O_TRUNC | O_NONBLOCK | O_CLOEXEC, 0666);
  if (fd < 0) return nullptr;
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  std::FILE* file = ::fdopen(fd, "wb");
  if (file == nullptr) {
    const int error = errno;
    ::close(fd);
    errno = error;
  }
  return file;
}

// The box's second line: the file and the OS's reason, or why no file was named.
std::string log_failure(const char* name, int error) {
  if (name[0] != '\0') return hex_os_reason(name, error);
  return error == ENAMETOOLONG ? "the name given is longer than " + std::to_string(HEX_FILENAME_SIZE - 1) + " characters"
                               : "no file was named";
}

}  // namespace

void hex_save_rx_log(int port, const char* text, int /*length*/) {
  if (port < 0 || port >= HEX_MAX_PORT) return;
  save_log(hex_rgb[port].rx, text);
}

void hex_save_tx_log(int port, const char* text, int /*length*/) {
  if (port < 0 || port >= HEX_MAX_PORT) return;
  save_log(hex_rgb[port].tx, text);
}

void hex_log_open(platform::DialogHost& hwndDlg) {
  char name[HEX_FILENAME_SIZE];
  hex_file_dlg("htm", "Select or enter a Log File name", name, true);
  const int refusal = errno;  // why no name came back, if none did
  // A second Log ends the open log properly, but only now: while the prompt was open the pump went
  // on, and the open log kept what it showed.
  if (hex_logfile != nullptr) hex_log_close(hwndDlg);
  hwndDlg.set_text(IDT_STATUS, name);
  hex_logfile = open_log_file(name);
  if (hex_logfile == nullptr) {
    const int error = refusal == ENAMETOOLONG ? refusal : errno;
    hex_err_msg("Log File open error", error, log_failure(name, error));
    hex_log = 0;
    hwndDlg.set_text(IDT_STATUS, "");
    hwndDlg.check_radio(IDR_LOG, IDR_NOLOG, IDR_NOLOG);
    return;
  }
  hex_log = 1;
  hwndDlg.check_radio(IDR_LOG, IDR_NOLOG, IDR_LOG);
  for (const std::string_view piece : kHeader) write_log(piece);
}

void hex_log_close(platform::DialogHost& hwndDlg) {
  if (hex_logfile != nullptr) {
    for (const std::string_view piece : kFooter) write_log(piece);
    std::fclose(hex_logfile);
    hex_logfile = nullptr;
  }
  hwndDlg.set_text(IDT_STATUS, "");
  hwndDlg.check_radio(IDR_LOG, IDR_NOLOG, IDR_NOLOG);
  hex_log = 0;
}

int hex_file_dlg(const char* extension, const char* title, char* filelist, bool written) {
  filelist[0] = '\0';
  const std::optional<std::string> path =
      platform::desktop().open_file_prompt({title, extension, written});
  errno = 0;
  if (!path || path->empty()) return 0;
  // A path that does not fit is refused rather than cut into the name of some other file.
  if (path->size() >= HEX_FILENAME_SIZE) {
    errno = ENAMETOOLONG;
    return 0;
  }
  std::memcpy(filelist, path->c_str(), path->size() + 1);
  return 1;
}
