// A VT100/xterm terminal for one line, on libvterm: received bytes go in, a screen of cells comes
// out for painting, typed keys and pastes come out as the bytes to send.
//
// How it works. Received bytes pass the input guard (Latin-1 decoding, and the sequences libvterm
// 0.1.4 cannot take safely) into libvterm's screen, which keeps the main and the alternate screen
// and carries out the sequences. libvterm reports back through callbacks: cells that changed (their
// rows are marked damaged and the generation count goes up), the cursor and whether it shows, the
// alternate screen coming and going, the bell, a line leaving the top of the main screen (kept in
// the scrollback ring; the alternate screen keeps none), and bytes it answers the far end with
// (device status, device attributes), which wait in a reply buffer until taken. Nothing is ever
// said to the far end of its own accord: a serial line has no window size to report, so resize()
// keeps the content (rows that no longer fit at the bottom go up into the scrollback, a taller
// screen takes them back; libvterm 0.1.4 cuts lines that no longer fit a narrower screen and does
// not rewrap them).
//
// Viewport. The painter reads rows 0 .. rows()-1 of the viewport: the live screen, or, scrolled back
// by view_offset() lines, the last lines of the scrollback followed by the top of the screen. While
// scrolled back, lines arriving in the scrollback move the offset along so the view stays on the
// same text; any change then damages every row.
//
// Lines. Lines are numbered from the first line that ever went into the scrollback, so a number
// names the same line while older ones are dropped: the oldest kept line is first_line(), and row r
// of the screen is line first_screen_line() + r. Selections are given in line numbers.
//
// Written text. With a line sink set, each line the far end writes is handed to it as UTF-8 text
// (no escape sequences, trailing blanks dropped), one row at a time, when a line feed (LF, VT or FF)
// ends it: the cursor's row and the rows the text wrapped from onto it, as they stand then, so line
// editing done before the line feed shows and a row redrawn in place without a line feed (a
// full-screen program) is not repeated. A wrapped row that scrolls off the top before that is
// handed over as it leaves. cursor_row_text() reads the row still being written.
//
// Limits. The screen is 1..kMaxRows by kMinColumns..kMaxColumns (libvterm 0.1.4 writes past a
// one-column row for a wide character); the scrollback keeps the last scrollback_lines lines (at
// most kMaxScrollbackLines; a line costs its written cells, 44 bytes each); replies not taken stop
// growing at kMaxReplyBytes (later ones are dropped).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "terminal/cell.h"
#include "terminal/continuations.h"
#include "terminal/input_guard.h"
#include "terminal/keyboard.h"
#include "terminal/scrollback.h"

// libvterm's own types, declared as its header does.
struct VTerm;
struct VTermScreen;
struct VTermState;

namespace terminal {

inline constexpr int kMaxRows = 500;
inline constexpr int kMinColumns = 2;
inline constexpr int kMaxColumns = 1000;
inline constexpr std::size_t kMaxReplyBytes = 65536;
inline constexpr std::size_t kMaxScrollbackLines = 1000000;

struct Options {
  int rows = 24;
  int columns = 80;
  Decoding decoding = Decoding::Utf8;
  std::size_t scrollback_lines = 10000;
  BackspaceSends backspace = BackspaceSends::Delete;
};

struct Cursor {
  int row = 0;  // in the viewport
  int column = 0;
  bool visible = true;  // shown by the far end's choice and inside the viewport
};

struct LinePosition {
  std::int64_t line = 0;
  int column = 0;
  friend auto operator<=>(const LinePosition&, const LinePosition&) = default;
};

class Emulator {
 public:
  explicit Emulator(const Options& options = {});
  ~Emulator();
  Emulator(const Emulator&) = delete;
  Emulator& operator=(const Emulator&) = delete;

  // ---- Received bytes and the answers to them ----
  void feed(std::span<const std::uint8_t> bytes);
  void feed(std::string_view bytes);
  // Bytes to send back (answers to status and attribute requests), oldest first; empties the buffer.
  std::string take_replies();

  // ---- Settings ----
  void resize(int rows, int columns);  // clamped to the limits
  int rows() const { return rows_; }
  int columns() const { return columns_; }
  void set_decoding(Decoding decoding) { guard_.set_decoding(decoding); }
  Decoding decoding() const { return guard_.decoding(); }
  void set_backspace(BackspaceSends backspace) { backspace_ = backspace; }
  BackspaceSends backspace() const { return backspace_; }
  // Erases the screen and the scrollback and puts the cursor home, as the user asks; the far end's
  // modes (application keys, bracketed paste, the alternate screen) stay as they are, and a
  // sequence it was in the middle of is cut short.
  void clear();

  // ---- Painting (viewport coordinates) ----
  Cell cell(int row, int column) const;
  // Fills `cells` (columns() of them) with a row of the viewport.
  void read_row(int row, std::span<Cell> cells) const;
  Cursor cursor() const;
  bool alternate_screen() const { return alternate_; }
  // Goes up with every change to what the viewport shows.
  std::uint64_t generation() const { return generation_; }
  // Which viewport rows changed since the last call (rows() flags); clears them.
  std::vector<bool> take_damage();
  std::uint64_t bells() const { return bells_; }
  // The RGB of palette entry `index` (0..255).
  Rgb palette_colour(std::uint8_t index) const;

  // ---- Scrollback ----
  // Moves the view `lines` further back into the scrollback (negative: toward the live screen).
  void scroll_view(int lines);
  void scroll_to_live() { scroll_view(-view_offset_); }
  int view_offset() const { return view_offset_; }
  std::size_t scrollback_size() const { return scrollback_.size(); }

  // ---- Keys and paste: the bytes to send ----
  std::string key(Key key, Modifiers modifiers = {});
  std::string character(char32_t c, Modifiers modifiers = {});
  // The paste cut into chunks of at most `chunk_size` bytes, bracketed when the far end asked.
  std::vector<std::string> paste(std::string_view utf8_text, std::size_t chunk_size = 64);

  // ---- Selection ----
  std::int64_t first_line() const { return scrollback_.dropped(); }
  std::int64_t first_screen_line() const;
  LinePosition position_at(int row, int column) const;  // a viewport cell's line and column
  // The cells of a line (a kept scrollback line without its trailing erased cells, or a screen row);
  // none for a line no longer kept or beyond the screen.
  std::vector<Cell> line(std::int64_t number) const;
  // The text from `from` up to (not including) `to`, in either order: a line break between lines,
  // trailing blanks of each line dropped; lines no longer kept are left out.
  std::string text(LinePosition from, LinePosition to) const;

  // ---- Written text ----
  void set_line_sink(std::function<void(std::string_view)> sink) { line_sink_ = std::move(sink); }
  std::string cursor_row_text() const;

 private:
  struct VTermDeleter {
    void operator()(VTerm* vt) const;
  };
  struct Callbacks;
  friend struct Callbacks;

  void write(std::string_view bytes);
  void write_checked(std::size_t begin, std::size_t end);
  void keep_cursor_on_screen();
  void settle_after_resize();
  void write_text(std::string_view bytes);
  void hand_over_line(int cursor_row);
  bool top_row_runs_on() const;
  std::string_view screen_row_text(int screen_row, std::string& buffer) const;
  int cursor_screen_row() const;
  std::string libvterm_key(int vterm_key, Modifiers modifiers);
  std::string enter_bytes(Key key, Modifiers modifiers);
  std::string keypad_bytes(Key key, Modifiers modifiers);
  template <typename Call>
  std::string captured_output(Call call);
  void read_screen_row(int screen_row, std::span<Cell> cells) const;
  std::span<const Cell> scrolled_back_line(int row) const;
  void read_line(std::int64_t line, std::vector<Cell>& cells) const;
  int kept_lines() const;
  void damage_rows(int first, int end);
  void damage_all();

  std::unique_ptr<VTerm, VTermDeleter> vt_;
  VTermScreen* screen_ = nullptr;
  VTermState* state_ = nullptr;
  InputGuard guard_;
  GuardedBytes guarded_;
  Scrollback scrollback_;
  BackspaceSends backspace_;
  int rows_;
  int columns_;
  int view_offset_ = 0;
  bool alternate_ = false;
  bool cursor_visible_ = true;
  bool screen_reversed_ = false;
  std::uint64_t generation_ = 0;
  std::uint64_t bells_ = 0;
  int rows_scrolled_up_ = 0;             // by the text being written
  std::optional<int> text_start_row_;  // where the text being written started
  Continuations continuations_;
  std::vector<bool> damaged_;
  std::string replies_;
  std::string* capture_ = nullptr;  // where libvterm's output goes while a key is encoded
  Cell erased_;                     // a cell nothing was written to, in the default colours
  std::vector<Cell> line_buffer_;
  std::string text_buffer_;
  std::function<void(std::string_view)> line_sink_;
};

}  // namespace terminal
