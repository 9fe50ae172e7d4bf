// The HTML log of everything shown and sent, and the file prompt.
//
// A piece is an opening font tag with the colour of its port and direction, the text, and the
// closing tag, written as it arrives and flushed at once, so a crash loses nothing already shown.
//
// The pieces stand in one preformatted block whose style gives it the window's layout: a
// fixed-width font, long lines folded into rows of at most 80 characters (at a blank where there is
// one), a line feed ending a row, a TAB one character wide. The file is ASCII and keeps every byte's
// value: '<', '>' and '&' are written as entities, so line data never becomes markup, and every byte
// that is not printable ASCII, LF or TAB (control codes, DEL, 0x80-0xFF) as the character reference
// of its own number, so nothing reaches the file raw and a browser, left to guess no character set,
// shows what the window shows (see platform/shown_character.h: &#128; is the euro sign in both).
// Browsers give form feed, carriage return and the soft hyphen no width: those three take no column.
#include "core/hex_log.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "core/hex.h"
#include "core/hex_report.h"
#include "core/resource.h"
#include "platform/desktop.h"

namespace {

std::FILE* hex_logfile = nullptr;

constexpr std::string_view kHeader[] = {
    "<!doctype html public \"-//w3c//dtd html 4.0 transitional//en\">",
    "<html>\n",
    "<head>\n",
    "<meta name=\"Copyright (c) the Quillport developers\" content=\"Quillport Log File\">\n",
    "<style>pre { font-family: monospace; width: 80ch; white-space: break-spaces; overflow-wrap: anywhere;"
    " tab-size: 1 }</style>\n",
    "</head>\n",
    "<body><pre>\n",
};
constexpr std::string_view kFooter[] = {"</pre></body>\n", "</html>\n"};
constexpr std::string_view kClosingTag = "</font>";
constexpr std::size_t kOpeningTagLength = sizeof "<font color=\"#RRGGBB\">" - 1;

void write_log(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), hex_logfile);
  std::fflush(hex_logfile);
}

// What the log holds for one byte of text; `reference` is room for a numeric character reference.
std::string_view escaped(const char& ch, char (&reference)[16]) {
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
  if ((byte >= 0x20 && byte < 0x7F) || byte == '\n' || byte == '\t') return {&ch, 1};
  std::snprintf(reference, sizeof reference, "&#%u;", static_cast<unsigned>(byte));
  return reference;
}

// The units of a text the display shows: one byte each.
class ByteUnits {
 public:
  explicit ByteUnits(const char* text) : ch_(text) {}
  bool done() const { return *ch_ == '\0'; }
  std::string_view peek(char (&reference)[16]) const { return escaped(*ch_, reference); }
  void next() { ++ch_; }

 private:
  const char* ch_;
};

// The units of UTF-8 text: a character each, written as a reference to its code point unless it is
// ASCII. A byte that starts no whole character stands for U+FFFD.
class Utf8Units {
 public:
  explicit Utf8Units(std::string_view text) : rest_(text) { measure(); }
  bool done() const { return rest_.empty(); }
  std::string_view peek(char (&reference)[16]) const {
    if (code_point_ < 0x80) return escaped(rest_[0], reference);
    std::snprintf(reference, sizeof reference, "&#%u;", static_cast<unsigned>(code_point_));
    return reference;
  }
  void next() {
    rest_.remove_prefix(length_);
    measure();
  }

 private:
  void measure() {
    if (rest_.empty()) return;
    const auto lead = static_cast<unsigned char>(rest_[0]);
    const std::size_t length = lead < 0x80    ? 1
                               : lead >= 0xF5 ? 0
                               : lead >= 0xF0 ? 4
                               : lead >= 0xE0 ? 3
                               : lead >= 0xC2 ? 2
                                              : 0;
    code_point_ = length == 1 ? lead : lead & (0x7Fu >> length);
    for (std::size_t i = 1; i < length; ++i) {
      const auto byte = i < rest_.size() ? static_cast<unsigned char>(rest_[i]) : 0u;
      if ((byte & 0xC0) != 0x80) return replacement();
      code_point_ = (code_point_ << 6) | (byte & 0x3F);
    }
    if (length == 0 || code_point_ > 0x10FFFF) return replacement();
    length_ = length;
  }
  void replacement() {
    code_point_ = 0xFFFD;
    length_ = 1;
  }

  std::string_view rest_;
  std::uint32_t code_point_ = 0;
  std::size_t length_ = 1;
};

// A piece never exceeds HEX_MAX_STRING characters with its tags. Text that does not fit goes on in
// further pieces of the same colour, cut between characters (never inside an entity), so the log
// keeps every character.
template <class Units>
void save_log(std::uint32_t rgb, Units units) {
  if (!hex_log || hex_logfile == nullptr) return;
  char opening[kOpeningTagLength + 1];
  std::snprintf(opening, sizeof opening, "<font color=\"#%06X\">", static_cast<unsigned>(rgb & 0xFFFFFF));
  constexpr std::size_t kRoom = HEX_MAX_STRING - kOpeningTagLength - kClosingTag.size();
  std::string piece;
  piece.reserve(HEX_MAX_STRING);
  char reference[16];
  do {
    piece.assign(opening);
    while (!units.done()) {
      const std::string_view unit = units.peek(reference);
      if (piece.size() - kOpeningTagLength + unit.size() > kRoom) break;
      piece.append(unit);
      units.next();
    }
    piece.append(kClosingTag);
    write_log(piece);
  } while (!units.done());
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
  if (error != ENAMETOOLONG) return "no file was named";
  return "the name given is longer than " + std::to_string(HEX_FILENAME_SIZE - 1) + " characters";
}

}  // namespace

void hex_save_rx_log(int port, const char* text, int /*length*/) {
  if (port < 0 || port >= HEX_MAX_PORT || text == nullptr) return;
  save_log(hex_rgb[port].rx, ByteUnits(text));
}

void hex_save_tx_log(int port, const char* text, int /*length*/) {
  if (port < 0 || port >= HEX_MAX_PORT || text == nullptr) return;
  save_log(hex_rgb[port].tx, ByteUnits(text));
}

void hex_save_rx_text_log(int port, std::string_view utf8) {
  if (port < 0 || port >= HEX_MAX_PORT) return;
  save_log(hex_rgb[port].rx, Utf8Units(utf8));
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
