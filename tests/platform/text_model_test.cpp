#include "platform/text_model.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <numeric>
#include <random>
#include <string>
#include <vector>

namespace platform {
namespace {

constexpr Colour kGreen = 0x0000FF00;
constexpr Colour kRed = 0x000000FF;

std::vector<std::string> rows_of(const TextModel& m) {
  std::vector<std::string> rows;
  for (int r = 0; r < m.line_count(); ++r) rows.push_back(m.row_text(r));
  return rows;
}

std::vector<Colour> colours_of(const TextModel& m) {
  std::vector<Colour> all;
  for (int r = 0; r < m.line_count(); ++r) {
    std::vector<Colour> row(m.row_text(r).size());
    m.row_colours(r, row.data(), static_cast<int>(row.size()));
    all.insert(all.end(), row.begin(), row.end());
  }
  return all;
}

// The layout rules computed the obvious way: rows as they are cut from the whole text.
std::vector<std::string> brute_rows(const std::string& text) {
  auto blank = [](char ch) { return ch == ' ' || ch == '\t'; };
  std::vector<std::string> rows;
  for (std::size_t start = 0;;) {
    const std::size_t lf = text.find('\n', start);
    const std::size_t end = lf == std::string::npos ? text.size() : lf;
    if (end - start <= 80) {
      rows.push_back(text.substr(start, end - start + (lf == std::string::npos ? 0 : 1)));
      if (lf == std::string::npos) return rows;
      start = lf + 1;
      continue;
    }
    std::size_t cut = 80;
    if (!blank(text[start + 80])) {
      for (std::size_t i = 79; i > 0; --i) {
        if (blank(text[start + i])) {
          cut = i;
          break;
        }
      }
    }
    rows.push_back(text.substr(start, cut));
    start += cut;
  }
}

// Bytes as the hexadecimal view shows them: " 00 01 02 ...".
std::string hex_groups(int count) {
  std::string text;
  for (int i = 0; i < count; ++i) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    text += ' ';
    text += kDigits[(i >> 4) & 15];
    text += kDigits[i & 15];
  }
  return text;
}

class FakeClipboard : public Clipboard {
 public:
  void set_text(std::string_view text) override { held = std::string(text); }
  std::string text() override { return held; }
  std::string held = "untouched";
};

TEST(TextModelLayout, RowsFollowTheWrapAndLineFeedRules) {
  const std::string a80(80, 'a');
  const struct {
    std::string text;
    std::vector<std::string> rows;
  } cases[] = {
      {"", {""}},
      {a80, {a80}},
      {a80 + "b", {a80, "b"}},
      {a80 + a80, {a80, a80}},
      {a80 + "\n", {a80 + "\n", ""}},
      {a80 + "\nb", {a80 + "\n", "b"}},
      {a80 + "b\n", {a80, "b\n", ""}},
      {"ab\n\ncd", {"ab\n", "\n", "cd"}},
      // A word that would cross column 80 starts the next row with the blank before it.
      {hex_groups(27), {hex_groups(26), " 1A"}},
      {hex_groups(53), {hex_groups(26), hex_groups(52).substr(78), " 34"}},
      {std::string(79, 'a') + " b", {std::string(79, 'a'), " b"}},
      {a80 + " b", {a80, " b"}},                 // the blank right after a full row
      {std::string("x").append(80, 'b'), {std::string("x").append(79, 'b'), "b"}},
      // 80 without blanks: cut
      {std::string("x ").append(80, 'b'), {"x", std::string(" ").append(79, 'b'), "b"}},
      {std::string("ab\t").append(79, 'c'), {"ab", std::string("\t").append(79, 'c')}},
  };
  for (const auto& c : cases) {
    TextModel whole;
    whole.set_text(c.text);
    TextModel typed;
    for (const char ch : c.text) typed.type_char(ch);
    EXPECT_EQ(rows_of(whole), c.rows) << c.text.size();
    EXPECT_EQ(rows_of(typed), c.rows) << c.text.size();
    int start = 0;
    for (int r = 0; r < static_cast<int>(c.rows.size()); ++r) {
      EXPECT_EQ(whole.line_index(r), start);
      EXPECT_EQ(whole.line_from_char(start), r);
      EXPECT_EQ(whole.line_length(start), static_cast<int>(c.rows[r].size()) - (c.rows[r].ends_with('\n') ? 1 : 0));
      start += static_cast<int>(c.rows[r].size());
    }
  }
}

TEST(TextModelLayout, QueriesAtTheEdges) {
  TextModel m;
  m.set_text(std::string(85, 'x') + "\nyz");  // rows: 80 | 5 + LF | 2
  EXPECT_EQ(m.line_from_char(79), 0);
  EXPECT_EQ(m.line_from_char(80), 1);
  EXPECT_EQ(m.line_from_char(85), 1);  // the LF belongs to its row
  EXPECT_EQ(m.line_from_char(88), 2);  // the end
  EXPECT_EQ(m.line_from_char(5000), 2);
  EXPECT_EQ(m.line_from_char(-20), 0);
  EXPECT_EQ(m.line_index(3), -1);
  EXPECT_EQ(m.line_index(-2), -1);
  m.set_selection(83, 83);
  EXPECT_EQ(m.line_from_char(-1), 1);
  EXPECT_EQ(m.line_index(-1), 80);
  EXPECT_EQ(m.line_length(-1), 5);
  EXPECT_EQ(m.text(84, 4), "x\nyz");
  EXPECT_EQ(m.text(-5, 2), "xx");
  EXPECT_EQ(m.text(87, 50), "z");
  EXPECT_EQ(m.row_text(3), "");
}

TEST(TextModelEdit, ReplaceInsideAWrappedLineRewrapsAndKeepsColours) {
  TextModel m;
  m.set_insert_colour(kGreen);
  m.replace_selection(std::string(200, 'g') + "\nafter");
  m.set_selection(100, 110);
  m.set_insert_colour(kRed);
  m.replace_selection("XYZ");
  EXPECT_EQ(m.selection().cpMin, 103);
  EXPECT_EQ(m.selection().cpMax, 103);
  const std::string expected = std::string(100, 'g') + "XYZ" + std::string(90, 'g') + "\nafter";
  EXPECT_EQ(rows_of(m), brute_rows(expected));
  const std::vector<Colour> colours = colours_of(m);
  for (int i = 0; i < static_cast<int>(colours.size()); ++i) {
    EXPECT_EQ(colours[i], (i >= 100 && i < 103) ? kRed : kGreen) << i;
  }
}

TEST(TextModelEdit, DeletionsJoinRowsTheWayTheLayoutRulesSay) {
  const std::string a80(80, 'a');
  const struct {
    std::string text;
    int from, to;
  } cases[] = {
      {a80 + "b", 80, 81},     // an emptied last row after a full row goes
      {a80 + "b\nc", 80, 81},  // the LF joins the full row
      {"one\n" + std::string(170, 'm') + "\ntwo\nthree", 2, 180},  // across rows and LFs
  };
  for (const auto& c : cases) {
    TextModel m;
    m.set_text(c.text);
    m.set_selection(c.from, c.to);
    m.clear_selection();
    std::string expected = c.text;
    expected.erase(c.from, c.to - c.from);
    EXPECT_EQ(rows_of(m), brute_rows(expected)) << c.text;
    EXPECT_EQ(m.selection().cpMin, c.from);
  }
}

TEST(TextModelSelection, SetSelectionClampsAndOrders) {
  const struct {
    int min, max, want_min, want_max;
  } cases[] = {{3, -1, 3, 10}, {7, 2, 2, 7}, {-7, 1000, 0, 10}, {4, 4, 4, 4}, {50, 60, 10, 10}, {-1, -1, 0, 10}};
  TextModel m;
  m.set_text("0123456789");
  for (const auto& c : cases) {
    m.set_selection(c.min, c.max);
    EXPECT_EQ(m.selection().cpMin, c.want_min);
    EXPECT_EQ(m.selection().cpMax, c.want_max);
  }
}

TEST(TextModelView, ScrollingStaysWithinTheRows) {
  TextModel m;
  m.set_text(std::string(30, '\n'));  // 31 rows
  m.line_scroll(INT_MAX);
  EXPECT_EQ(m.first_visible_line(), 30);  // the last row may be the top one
  m.set_selection(10, -1);
  m.clear_selection();
  EXPECT_EQ(m.first_visible_line(), 10);
  m.line_scroll(INT_MIN);
  EXPECT_EQ(m.first_visible_line(), 0);
}

TEST(TextModelScrollback, TrimmingDropsWholePagesAndShiftsEverything) {
  TextModel m(100);
  std::string all;
  for (int i = 0; i < 99; ++i) all.append(1, 'r').append(std::to_string(i)).append(1, '\n');
  m.set_text(all);  // 100 rows, the last one empty
  m.line_scroll(60);
  const int insert_at = m.line_index(50);
  m.set_selection(insert_at, insert_at);
  m.replace_selection(std::string(10, '\n'));  // 110 rows: one page goes
  all.insert(insert_at, std::string(10, '\n'));
  const int dropped_chars = static_cast<int>(all.find("r25\n"));
  EXPECT_EQ(m.line_count(), 85);
  EXPECT_EQ(m.text(0, INT_MAX), all.substr(dropped_chars));
  EXPECT_EQ(m.selection().cpMin, insert_at + 10 - dropped_chars);
  EXPECT_EQ(m.line_from_char(-1), 35);
  EXPECT_EQ(m.first_visible_line(), 35);

  // Text inserted among the oldest rows can be dropped itself: the caret stops at 0.
  m.set_text(std::string(99, '\n'));
  m.set_selection(2, 2);
  m.replace_selection(std::string(30, '\n'));
  EXPECT_EQ(m.line_count(), 80);
  EXPECT_EQ(m.selection().cpMax, 0);
}

TEST(TextModelScrollback, HugeInsertionKeepsTheTailWithinTheCap) {
  TextModel m(100);
  std::string big(3'000'000, ' ');
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>('A' + i % 26);
  m.replace_selection(big);
  const int rows = 3'000'000 / 80;
  const int dropped = (rows - 100 + 24) / 25 * 25;
  EXPECT_EQ(m.line_count(), rows - dropped);
  EXPECT_EQ(m.text(0, INT_MAX), big.substr(static_cast<std::size_t>(dropped) * 80));
  EXPECT_EQ(m.selection().cpMin, m.text_length());
}

TEST(TextModelColour, DefaultColourRecoloursAndAFullPaletteFallsBackToTheNearest) {
  TextModel m;
  m.set_insert_colour(kRed);
  m.replace_selection("ab\n");
  m.set_default_colour(kGreen);
  EXPECT_EQ(colours_of(m), std::vector<Colour>(3, kGreen));
  EXPECT_EQ(m.insert_colour(), kGreen);
  for (Colour red = 1; red <= 255; ++red) {  // with green, 256 colours: the palette is full
    m.set_insert_colour(red);
    m.replace_selection("x");
  }
  m.set_insert_colour(0x00010080);
  m.replace_selection("y");
  m.set_insert_colour(0x0000F000);
  m.replace_selection("z");
  const std::vector<Colour> colours = colours_of(m);
  EXPECT_EQ(colours[257], 255u);
  EXPECT_EQ(colours[258], 0x80u);
  EXPECT_EQ(colours[259], kGreen);
  m.set_insert_colour(0xFF000000 | kRed);
  EXPECT_EQ(m.insert_colour(), kRed);
  Colour two[2] = {7, 7};
  m.row_colours(0, two, 1);
  EXPECT_EQ(two[1], 7u);
}

TEST(TextModelText, NulEndsInsertedText) {
  TextModel m;
  m.replace_selection(std::string_view("ab\0cd", 5));
  EXPECT_EQ(m.text(0, 10), "ab");
  m.set_text(std::string_view("\0xyz", 4));
  EXPECT_EQ(m.text_length(), 0);
  EXPECT_FALSE(m.modified());
  const std::uint64_t before = m.revision();
  m.type_char('\0');
  EXPECT_EQ(m.revision(), before);
  m.type_char('q');
  EXPECT_GT(m.revision(), before);
  EXPECT_TRUE(m.modified());
}

TEST(TextModelKeys, MovesKeepTheColumnAndExtendFromTheAnchor) {
  TextModel m;
  m.set_text("0123456789\nab\n" + std::string(100, 'w'));  // rows: 10 + LF | 2 + LF | 80 | 20
  m.place_caret(0, 7, false);
  m.move_down(false);
  EXPECT_EQ(m.selection().cpMin, 13);  // clamped to the short row
  m.move_down(false);
  EXPECT_EQ(m.selection().cpMin, 14 + 7);  // the remembered column comes back
  m.place_caret(2, 500, false);
  EXPECT_EQ(m.selection().cpMin, 14 + 79);  // still on the full wrapped row
  m.move_end(false);
  EXPECT_EQ(m.selection().cpMin, 14 + 80);
  m.place_caret(0, 4, false);
  m.move_right(true);
  m.move_right(true);
  m.move_down(true);
  EXPECT_EQ(m.selection().cpMin, 4);
  EXPECT_EQ(m.selection().cpMax, 13);
  m.move_left(false);  // collapses to the start
  EXPECT_EQ(m.selection().cpMax, 4);
  m.move_left(true);
  m.move_left(true);
  EXPECT_EQ(m.selected_text(), "23");
  m.move_home(true);
  EXPECT_EQ(m.selected_text(), "0123");
  m.select_all();
  m.backspace();
  EXPECT_EQ(m.text_length(), 0);
  m.backspace();  // nothing before the caret
  m.type_char('a');
  m.type_char('\n');
  EXPECT_EQ(rows_of(m), (std::vector<std::string>{"a\n", ""}));
}

TEST(TextModelKeys, CaretMovesKeepToTheWrappedRowsOfHexadecimalText) {
  TextModel m;
  m.set_text(hex_groups(26 * 30));  // 30 rows of 78 characters
  ASSERT_EQ(m.line_count(), 30);
  m.place_caret(0, 79, false);
  EXPECT_EQ(m.selection().cpMin, 77);  // the last column still on the row
  m.move_down(false);
  EXPECT_EQ(m.selection().cpMin, 78 + 77);
  m.move_end(false);  // past the row's last character: the start of the next
  EXPECT_EQ(m.line_from_char(-1), 2);
  m.move_home(false);
  EXPECT_EQ(m.selection().cpMin, 2 * 78);
  m.page_down(false);
  EXPECT_EQ(m.line_from_char(-1), 27);
  EXPECT_EQ(m.line_index(27), 27 * 78);
  m.move_right(false);
  m.move_right(false);
  m.move_up(false);
  EXPECT_EQ(m.selection().cpMin, 26 * 78 + 2);
}

TEST(TextModelKeys, PagesMoveCaretAndViewTogether) {
  TextModel m;
  m.set_text(std::string(100, '\n'));
  m.page_down(false);
  EXPECT_EQ(m.line_from_char(-1), 25);
  EXPECT_EQ(m.first_visible_line(), 25);
  m.page_down(true);
  EXPECT_EQ(m.selection().cpMin, 25);
  EXPECT_EQ(m.selection().cpMax, 50);
  for (int i = 0; i < 3; ++i) m.page_up(false);
  EXPECT_EQ(m.line_from_char(-1), 0);
  EXPECT_EQ(m.first_visible_line(), 0);
  m.place_caret(90, 0, false);  // the view follows the caret
  EXPECT_EQ(m.first_visible_line(), 66);
}

TEST(TextModelKeys, ClipboardCopyCutPaste) {
  TextModel m;
  FakeClipboard clip;
  m.set_text("hello world");
  m.copy(clip);
  EXPECT_EQ(clip.held, "untouched");  // nothing selected: the clipboard keeps its text
  m.set_selection(0, 6);
  m.cut(clip);
  EXPECT_EQ(clip.held, "hello ");
  m.set_selection(5, 5);
  clip.held = std::string(" again\0junk", 11);
  m.paste(clip);
  EXPECT_EQ(m.text(0, 100), "world again");
  clip.held.clear();
  m.set_selection(0, 5);
  m.paste(clip);  // an empty clipboard leaves the selection alone
  EXPECT_EQ(m.text(0, 100), "world again");
}

// The oracle: a plain string and colour list, laid out by brute force, trimmed by the same rule.
struct Reference {
  std::vector<int> row_sizes() const {
    std::vector<int> sizes;
    for (const std::string& row : brute_rows(text)) sizes.push_back(static_cast<int>(row.size()));
    return sizes;
  }

  void replace(const std::string& s, Colour colour, int cap) {
    text.replace(low, high - low, s);
    colours.erase(colours.begin() + low, colours.begin() + high);
    colours.insert(colours.begin() + low, s.size(), colour);
    low = high = low + static_cast<int>(s.size());
    const std::vector<int> sizes = row_sizes();
    int rows = static_cast<int>(sizes.size());
    if (rows > cap) {
      const int drop = (rows - cap + 24) / 25 * 25;
      const int chars = std::accumulate(sizes.begin(), sizes.begin() + drop, 0);
      text.erase(0, chars);
      colours.erase(colours.begin(), colours.begin() + chars);
      low = high = std::max(low - chars, 0);
      first = std::max(first - drop, 0);
      rows -= drop;
    }
    first = std::min(first, rows - 1);
  }

  std::string text;
  std::vector<Colour> colours;
  int low = 0, high = 0, first = 0;
};

void expect_same(const TextModel& m, const Reference& ref, std::mt19937& rng, bool whole) {
  const std::vector<int> sizes = ref.row_sizes();
  ASSERT_EQ(m.text_length(), static_cast<int>(ref.text.size()));
  ASSERT_EQ(m.line_count(), static_cast<int>(sizes.size()));
  ASSERT_EQ(m.selection().cpMin, ref.low);
  ASSERT_EQ(m.selection().cpMax, ref.high);
  ASSERT_EQ(m.first_visible_line(), ref.first);
  if (whole) {
    ASSERT_EQ(rows_of(m), brute_rows(ref.text));
    ASSERT_EQ(colours_of(m), ref.colours);
  }
  for (int probe = 0; probe < 4; ++probe) {
    const int pos = std::uniform_int_distribution<int>(0, m.text_length())(rng);
    int row = 0;
    int start = 0;
    while (row + 1 < static_cast<int>(sizes.size()) && pos >= start + sizes[row]) start += sizes[row++];
    const bool lf = sizes[row] > 0 && ref.text[start + sizes[row] - 1] == '\n';
    ASSERT_EQ(m.line_from_char(pos), row) << pos;
    ASSERT_EQ(m.line_index(row), start);
    ASSERT_EQ(m.line_length(pos), sizes[row] - (lf ? 1 : 0));
    ASSERT_EQ(m.text(pos, 90), ref.text.substr(pos, 90));
  }
}

// Random selections (half of them near row starts, where the wrapping decisions are made),
// insertions of short and long runs with and without LFs, deletions and scrolling.
void differential_run(int cap, int operations, int longest_run, int whole_every) {
  std::mt19937 rng(20240611);
  auto pick = [&rng](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  TextModel m(cap);
  Reference ref;
  auto position = [&] {
    const int length = static_cast<int>(ref.text.size());
    if (pick(0, 1) == 0) return pick(0, length);
    return std::clamp(m.line_index(pick(0, m.line_count() - 1)) + pick(-1, 1), 0, length);
  };
  for (int step = 0; step < operations; ++step) {
    const int kind = pick(0, 9);
    if (kind <= 3) {
      const int x = position();
      const int y = pick(0, 15) == 0 ? position() : std::clamp(x + pick(-3, 3), 0, static_cast<int>(ref.text.size()));
      m.set_selection(x, y);
      ref.low = std::min(x, y);
      ref.high = std::max(x, y);
      if (kind == 3) {
        m.clear_selection();
        ref.replace("", 0, cap);
      }
    } else if (kind <= 8) {
      std::string s;
      for (int piece = pick(1, 4); piece > 0; --piece) {
        const int run = pick(0, 3) == 0 ? 80 * pick(0, 2) : pick(0, pick(0, 1) == 0 ? 5 : longest_run);
        // Runs of one character, or words between blanks, where the wrapping decisions are made.
        const bool words = pick(0, 1) == 0;
        const char ch = static_cast<char>(pick(1, 255));
        for (int i = 0; i < run; ++i) s += words && pick(0, 4) == 0 ? ' ' : ch;
        if (pick(0, 1) == 0) s += '\n';
      }
      const Colour colour = static_cast<Colour>(pick(0, 5)) * 0x010101;
      m.set_insert_colour(colour);
      m.replace_selection(s);
      ref.replace(s, colour, cap);
    } else {
      const int lines = pick(-60, 60);
      m.line_scroll(lines);
      ref.first = std::clamp(ref.first + lines, 0, m.line_count() - 1);
    }
    SCOPED_TRACE("step " + std::to_string(step) + " kind " + std::to_string(kind));
    expect_same(m, ref, rng, step % whole_every == 0);
    if (::testing::Test::HasFatalFailure()) return;
  }
}

TEST(TextModelDifferential, SmallCapTrimsOften) { differential_run(40, 4000, 120, 1); }

TEST(TextModelDifferential, LongRunsInALargerText) { differential_run(3000, 2500, 700, 50); }

}  // namespace
}  // namespace platform
