#include "tests/terminal/tmux_screen.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <clocale>
#include <cstdlib>
#include <cwchar>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace terminal_test {

namespace {

using terminal::Cell;
using terminal::Colour;

constexpr std::string_view kDoneTitle = "quillport-oracle-done";

// Runs a program and returns what it wrote on its standard output.
std::string run(const std::vector<std::string>& argv) {
  int pipe_ends[2];
  // close-on-exec: a copy of the writing end kept by the tmux server would hold the pipe open
  if (pipe2(pipe_ends, O_CLOEXEC) != 0) throw std::runtime_error("no pipe");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipe_ends[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, pipe_ends[0]);
  std::vector<char*> args;
  for (const auto& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  pid_t pid = -1;
  const int failed = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(pipe_ends[1]);
  std::string out;
  char buffer[65536];
  for (ssize_t got; !failed && (got = read(pipe_ends[0], buffer, sizeof buffer)) > 0;)
    out.append(buffer, static_cast<std::size_t>(got));
  close(pipe_ends[0]);
  if (failed) throw std::runtime_error("cannot run " + argv[0]);
  waitpid(pid, nullptr, 0);
  return out;
}

// A tmux server of its own, ended with the object.
class TmuxServer {
 public:
  TmuxServer() {
    std::string pattern = (std::filesystem::temp_directory_path() / "quillport-tmux-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("no temporary folder");
    folder_ = pattern;
    std::ofstream(folder_ / "tmux.conf") << "set -g status off\nset -g history-limit 10000\n"
                                            "set -g scroll-on-clear off\n";
  }
  ~TmuxServer() {
    tmux({"kill-server"});
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }
  TmuxServer(const TmuxServer&) = delete;
  TmuxServer& operator=(const TmuxServer&) = delete;

  std::string tmux(std::vector<std::string> arguments) const {
    arguments.insert(arguments.begin(),
                     {"tmux", "-S", (folder_ / "socket").string(), "-f", (folder_ / "tmux.conf").string()});
    return run(arguments);
  }
  std::filesystem::path file(const std::string& name) const { return folder_ / name; }

 private:
  std::filesystem::path folder_;
};

void wait_for_title(const TmuxServer& server) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (server.tmux({"display-message", "-p", "#{pane_title}"}) != std::string(kDoneTitle) + "\n") {
    if (std::chrono::steady_clock::now() > deadline) throw std::runtime_error("tmux did not take the stream");
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

// DEC Special Graphics, 0x5F-0x7E, as the VT100 draws them.
char32_t line_drawing(char32_t c) {
  static constexpr char32_t kTable[] = {0x00A0, 0x25C6, 0x2592, 0x2409, 0x240C, 0x240D, 0x240A, 0x00B0,
                                        0x00B1, 0x2424, 0x240B, 0x2518, 0x2510, 0x250C, 0x2514, 0x253C,
                                        0x23BA, 0x23BB, 0x2500, 0x23BC, 0x23BD, 0x251C, 0x2524, 0x2534,
                                        0x252C, 0x2502, 0x2264, 0x2265, 0x03C0, 0x2260, 0x00A3, 0x00B7};
  return c >= 0x5F && c <= 0x7E ? kTable[c - 0x5F] : c;
}

std::vector<int> sgr_numbers(std::string_view parameters, std::vector<int>& sub) {
  std::vector<int> numbers;
  std::stringstream stream{std::string(parameters)};
  for (std::string item; std::getline(stream, item, ';');) {
    const auto colon = item.find(':');
    numbers.push_back(item.empty() ? 0 : std::atoi(item.c_str()));
    sub.push_back(colon == std::string::npos ? -1 : std::atoi(item.c_str() + colon + 1));
  }
  return numbers;
}

// Reads an extended colour (5;n or 2;r;g;b) starting at numbers[i]; moves i past it.
Colour extended_colour(const std::vector<int>& numbers, std::size_t& i) {
  Colour colour;
  if (i + 1 < numbers.size() && numbers[i] == 5) {
    colour.kind = Colour::Kind::Palette;
    colour.index = static_cast<std::uint8_t>(numbers[i + 1]);
    i += 1;
  } else if (i + 3 < numbers.size() && numbers[i] == 2) {
    colour.kind = Colour::Kind::Direct;
    colour.rgb = {static_cast<std::uint8_t>(numbers[i + 1]), static_cast<std::uint8_t>(numbers[i + 2]),
                  static_cast<std::uint8_t>(numbers[i + 3])};
    i += 3;
  }
  return colour;
}

Colour palette(int index) { return {Colour::Kind::Palette, static_cast<std::uint8_t>(index), {}}; }

// The SGR codes of one style attribute; dim, hidden, overline and their ends change nothing kept.
void apply_style(int code, int sub, terminal::Style& style) {
  switch (code) {
    case 1: style.bold = true; break;
    case 3: style.italic = true; break;
    case 4: style.underline = static_cast<std::uint8_t>(sub < 0 ? 1 : sub); break;
    case 5: style.blink = true; break;
    case 7: style.reverse = true; break;
    case 9: style.strike = true; break;
    case 21: style.underline = 2; break;
    case 22: style.bold = false; break;
    case 23: style.italic = false; break;
    case 24: style.underline = 0; break;
    case 25: style.blink = false; break;
    case 27: style.reverse = false; break;
    case 29: style.strike = false; break;
    default: break;
  }
}

// The SGR codes of a colour: 30-37, 90-97 and 38 for the foreground, 40-47, 100-107 and 48 for the
// background, 39 and 49 for the defaults; 58 (the underline colour, which libvterm keeps not) is read past.
bool apply_colour(const std::vector<int>& numbers, std::size_t& i, Cell& pen) {
  const int code = numbers[i];
  const bool background = (code >= 40 && code <= 49) || (code >= 100 && code <= 107);
  Colour& target = background ? pen.background : pen.foreground;
  if ((code >= 30 && code <= 37) || (code >= 40 && code <= 47)) target = palette(code % 10);
  else if ((code >= 90 && code <= 97) || (code >= 100 && code <= 107)) target = palette(code % 10 + 8);
  else if (code == 38 || code == 48) target = extended_colour(numbers, ++i);
  else if (code == 39 || code == 49) target = Colour{};
  else if (code == 58) extended_colour(numbers, ++i);
  else return false;
  return true;
}

void apply_sgr(std::string_view parameters, Cell& pen) {
  std::vector<int> sub;
  const std::vector<int> numbers = sgr_numbers(parameters, sub);
  for (std::size_t i = 0; i < numbers.size(); ++i) {
    if (numbers[i] == 0)
      pen = Cell{};
    else if (!apply_colour(numbers, i, pen))
      apply_style(numbers[i], sub[i], pen.style);
  }
}

char32_t next_character(std::string_view text, std::size_t& pos) {
  std::mbstate_t state{};
  wchar_t c = 0;
  const std::size_t used = std::mbrtowc(&c, text.data() + pos, text.size() - pos, &state);
  if (used == 0 || used > text.size() - pos) {
    ++pos;
    return 0xFFFD;
  }
  pos += used;
  return static_cast<char32_t>(c);
}

void put_character(Row& row, const Cell& pen, char32_t c) {
  const int width = wcwidth(static_cast<wchar_t>(c));
  if (width == 0 && !row.empty()) {
    Cell& base = row.back().width == 0 && row.size() > 1 ? row[row.size() - 2] : row.back();
    for (auto& slot : base.chars)
      if (slot == 0) {
        slot = c;
        break;
      }
    return;
  }
  Cell cell = pen;
  cell.chars[0] = c;
  cell.width = static_cast<std::uint8_t>(width == 2 ? 2 : 1);
  row.push_back(cell);
  if (width == 2) {
    cell.chars[0] = 0;
    cell.width = 0;
    row.push_back(cell);
  }
}

std::vector<Row> read_rows(const TmuxServer& server, int rows, std::vector<std::string> range) {
  std::vector<std::string> arguments{"capture-pane", "-p", "-e", "-N"};
  arguments.insert(arguments.end(), range.begin(), range.end());
  std::vector<Row> read = read_capture(server.tmux(arguments));
  read.resize(static_cast<std::size_t>(rows));
  return read;
}

}  // namespace

std::vector<Row> read_capture(std::string_view report) {
  std::setlocale(LC_CTYPE, "C.UTF-8");
  std::vector<Row> rows(1);
  Cell pen;
  bool line_drawing_set = false;
  for (std::size_t pos = 0; pos < report.size();) {
    const char byte = report[pos];
    if (byte == '\n') {
      rows.emplace_back();
      ++pos;
    } else if (byte == '\x1b' && report.substr(pos, 2) == "\x1b[") {
      const std::size_t end = report.find('m', pos);
      apply_sgr(report.substr(pos + 2, end - pos - 2), pen);
      pos = end + 1;
    } else if (byte == '\x0e' || byte == '\x0f') {
      line_drawing_set = byte == '\x0e';
      ++pos;
    } else {
      const char32_t c = next_character(report, pos);
      put_character(rows.back(), pen, line_drawing_set ? line_drawing(c) : c);
    }
  }
  if (rows.back().empty()) rows.pop_back();  // the report ends each row with a line feed
  return rows;
}

TmuxScreen tmux_screen(std::string_view bytes, int rows, int columns) {
  TmuxServer server;
  std::ofstream(server.file("stream"), std::ios::binary)
      << bytes << '\x18' << "\x1b]2;" << kDoneTitle << '\x07';
  const std::string command = "stty raw -echo; cat '" + server.file("stream").string() + "'; exec sleep 600";
  server.tmux({"new-session", "-d", "-x", std::to_string(columns), "-y", std::to_string(rows), command});
  wait_for_title(server);

  TmuxScreen screen;
  std::istringstream state(server.tmux(
      {"display-message", "-p", "#{cursor_x} #{cursor_y} #{cursor_flag} #{alternate_on} #{history_size}"}));
  int history = 0;
  state >> screen.cursor_column >> screen.cursor_row >> screen.cursor_visible >> screen.alternate >> history;
  screen.cursor_column = std::min(screen.cursor_column, columns - 1);
  screen.rows = read_rows(server, rows, {});
  if (history > 0) screen.history = read_rows(server, history, {"-S", std::to_string(-history), "-E", "-1"});
  return screen;
}

}  // namespace terminal_test
