#include "tests/terminal/screen_match.h"

#include <memory>
#include <sstream>
#include <string>

#include "tests/terminal/tmux_screen.h"

namespace terminal_test {

namespace {

using terminal::Cell;
using terminal::Colour;

bool same_colour(const Colour& ours, const Colour& theirs) {
  if (ours.kind != theirs.kind) return false;
  if (ours.kind == Colour::Kind::Palette) return ours.index == theirs.index;
  return ours.kind == Colour::Kind::Default || ours.rgb == theirs.rgb;
}

std::array<char32_t, terminal::kMaxCharsPerCell> shown_chars(const Cell& cell) {
  auto chars = cell.chars;
  if (chars[0] == 0 && cell.width != 0) chars[0] = U' ';
  return chars;
}

bool same_cell(const Cell& ours, const Cell& theirs) {
  return shown_chars(ours) == shown_chars(theirs) && ours.width == theirs.width &&
         ours.style == theirs.style && same_colour(ours.foreground, theirs.foreground) &&
         same_colour(ours.background, theirs.background);
}

std::string describe_colour(const Colour& colour) {
  if (colour.kind == Colour::Kind::Default) return "default";
  if (colour.kind == Colour::Kind::Palette) return "index " + std::to_string(colour.index);
  return "rgb " + std::to_string(colour.rgb.red) + "," + std::to_string(colour.rgb.green) + "," +
         std::to_string(colour.rgb.blue);
}

std::string describe(const Cell& cell) {
  std::ostringstream out;
  out << "U+" << std::hex << static_cast<std::uint32_t>(shown_chars(cell)[0]) << std::dec << " width "
      << int{cell.width} << " fg " << describe_colour(cell.foreground) << " bg "
      << describe_colour(cell.background) << " b" << cell.style.bold << " i" << cell.style.italic << " u"
      << int{cell.style.underline} << " k" << cell.style.blink << " r" << cell.style.reverse << " s"
      << cell.style.strike;
  return out.str();
}

struct Comparison {
  TmuxDeviations deviations;
  int columns = 0;
  int differences = 0;
  std::ostringstream report;
};

bool excused(const Comparison& comparison, std::size_t column, const Cell& ours, const Cell& theirs) {
  return comparison.deviations.erase_with_wrap_pending &&
         column + 1 == static_cast<std::size_t>(comparison.columns) && ours.chars[0] == 0 && theirs.blank();
}

// Differences between one of our lines and the row tmux reports, at most a few described.
void compare_row(const std::vector<Cell>& ours, const Row& theirs, const std::string& where,
                 Comparison& comparison) {
  int& differences = comparison.differences;
  std::ostringstream& report = comparison.report;
  const std::size_t length = std::max(ours.size(), theirs.size());
  for (std::size_t c = 0; c < length; ++c) {
    const Cell mine = c < ours.size() ? ours[c] : Cell{};
    const bool reported = c < theirs.size();
    if (reported ? same_cell(mine, theirs[c]) || excused(comparison, c, mine, theirs[c]) : mine.blank())
      continue;
    if (++differences <= 8)
      report << where << " column " << c << ": ours " << describe(mine) << ", tmux "
             << (reported ? describe(theirs[c]) : "nothing (blank)") << "\n";
  }
}

std::string row_text(const std::vector<Cell>& cells) { return terminal::row_text(cells); }

void compare_state(const terminal::Emulator& emulator, const TmuxScreen& tmux, Comparison& comparison) {
  int& differences = comparison.differences;
  std::ostringstream& report = comparison.report;
  const terminal::Cursor cursor = emulator.cursor();
  if (cursor.row != tmux.cursor_row || cursor.column != tmux.cursor_column) {
    ++differences;
    report << "cursor: ours " << cursor.row << "," << cursor.column << ", tmux " << tmux.cursor_row << ","
           << tmux.cursor_column << "\n";
  }
  if (cursor.visible != tmux.cursor_visible || emulator.alternate_screen() != tmux.alternate) {
    ++differences;
    report << "cursor visible / alternate screen: ours " << cursor.visible << "/"
           << emulator.alternate_screen() << ", tmux " << tmux.cursor_visible << "/" << tmux.alternate
           << "\n";
  }
}

void compare_history(const terminal::Emulator& emulator, const TmuxScreen& tmux, Comparison& comparison) {
  if (emulator.scrollback_size() != tmux.history.size()) {
    ++comparison.differences;
    comparison.report << "history: ours " << emulator.scrollback_size() << " lines, tmux "
                      << tmux.history.size() << "\n";
    return;
  }
  for (std::size_t i = 0; i < tmux.history.size(); ++i)
    compare_row(emulator.line(emulator.first_line() + static_cast<std::int64_t>(i)), tmux.history[i],
                "history line " + std::to_string(i), comparison);
}

// The emulator fed `stream` in small blocks (cut anywhere, as reads of a serial line are), with or
// without a line sink (which feeds libvterm piece by piece).
std::unique_ptr<terminal::Emulator> fed(std::string_view stream, int rows, int columns, bool with_sink) {
  auto emulator = std::make_unique<terminal::Emulator>(terminal::Options{.rows = rows, .columns = columns});
  if (with_sink) emulator->set_line_sink([](std::string_view) {});
  constexpr std::size_t kBlock = 61;
  for (std::size_t at = 0; at < stream.size(); at += kBlock) emulator->feed(stream.substr(at, kBlock));
  emulator->feed("\x18");  // ends a sequence the stream left open, as tmux is told too
  return emulator;
}

testing::AssertionResult compare(const terminal::Emulator& emulator, const TmuxScreen& tmux,
                                 TmuxDeviations deviations) {
  Comparison comparison;
  comparison.deviations = deviations;
  comparison.columns = emulator.columns();
  const int rows = emulator.rows();
  for (int r = 0; r < rows; ++r)
    compare_row(emulator.line(emulator.first_screen_line() + r), tmux.rows[static_cast<std::size_t>(r)],
                "row " + std::to_string(r), comparison);
  compare_state(emulator, tmux, comparison);
  if (!tmux.alternate) compare_history(emulator, tmux, comparison);
  if (comparison.differences == 0) return testing::AssertionSuccess();

  std::ostringstream& report = comparison.report;
  report << comparison.differences << " differences. The screens:\n";
  for (int r = 0; r < rows; ++r)
    report << "ours |" << row_text(emulator.line(emulator.first_screen_line() + r)) << "|\ntmux |"
           << row_text(tmux.rows[static_cast<std::size_t>(r)]) << "|\n";
  return testing::AssertionFailure() << report.str();
}

}  // namespace

testing::AssertionResult same_screen_as_tmux(std::string_view stream, int rows, int columns,
                                             TmuxDeviations deviations) {
  const TmuxScreen tmux = tmux_screen(stream, rows, columns);
  for (bool with_sink : {false, true}) {
    testing::AssertionResult result = compare(*fed(stream, rows, columns, with_sink), tmux, deviations);
    if (!result) return result << (with_sink ? "(with a line sink)" : "");
  }
  return testing::AssertionSuccess();
}

}  // namespace terminal_test
