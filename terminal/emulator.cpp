#include "terminal/emulator.h"

#include <vterm.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

#include "terminal/paste.h"

namespace terminal {

static_assert(VTERM_MAX_CHARS_PER_CELL == kMaxCharsPerCell);

namespace {

constexpr std::uint32_t kRightHalf = 0xFFFFFFFF;  // libvterm's mark for the second cell of a wide character

Style style_of(const VTermScreenCellAttrs& attrs) {
  return {.bold = attrs.bold != 0,
          .italic = attrs.italic != 0,
          .blink = attrs.blink != 0,
          .reverse = attrs.reverse != 0,
          .strike = attrs.strike != 0,
          .underline = static_cast<std::uint8_t>(attrs.underline)};
}

// Turns libvterm's cells into ours. Neighbouring cells mostly share their colours, so the last
// colour of each kind looked up is remembered.
class CellReader {
 public:
  CellReader(const VTermScreen* screen, const Colour& default_foreground, bool screen_reversed)
      : screen_(screen), default_foreground_(default_foreground), screen_reversed_(screen_reversed) {}

  Cell read(const VTermScreenCell& in) {
    Cell cell;
    if (in.chars[0] == kRightHalf) {
      cell.width = 0;
    } else {
      for (int i = 0; i < kMaxCharsPerCell && in.chars[i] != 0; ++i) cell.chars[i] = in.chars[i];
      cell.width = static_cast<std::uint8_t>(in.width);
    }
    cell.style = style_of(in.attrs);
    cell.foreground = resolve(in.fg, foreground_);
    cell.background = resolve(in.bg, background_);
    if (in.chars[0] == 0) as_erased(cell);
    return cell;
  }

 private:
  struct Remembered {
    VTermColor key{};
    Colour value;
    bool valid = false;
  };

  Colour resolve(const VTermColor& colour, Remembered& last) {
    if (!last.valid || std::memcmp(&last.key, &colour, sizeof colour) != 0)
      last = {colour, resolved(colour), true};
    return last.value;
  }

  Colour resolved(VTermColor colour) const {
    Colour out;
    if (VTERM_COLOR_IS_DEFAULT_FG(&colour) || VTERM_COLOR_IS_DEFAULT_BG(&colour)) {
      out.kind = Colour::Kind::Default;
    } else if (VTERM_COLOR_IS_INDEXED(&colour)) {
      out.kind = Colour::Kind::Palette;
      out.index = colour.indexed.idx;
    } else {
      out.kind = Colour::Kind::Direct;
    }
    vterm_screen_convert_color_to_rgb(screen_, &colour);
    out.rgb = {colour.rgb.red, colour.rgb.green, colour.rgb.blue};
    return out;
  }

  // libvterm 0.1.4 fills an erased cell with the whole pen; xterm (and tmux) keep only its
  // background colour, so an erase with underline or reverse on leaves plain blanks, not
  // underlined or inverted ones. A cell holding no character was erased or never written.
  void as_erased(Cell& cell) const {
    cell.style = Style{};
    cell.style.reverse = screen_reversed_;  // libvterm shows every cell inverted while the screen is
    cell.foreground = default_foreground_;
  }

  const VTermScreen* screen_;
  Colour default_foreground_;
  bool screen_reversed_;
  Remembered foreground_;
  Remembered background_;
};

// How many of a line's cells come before the erased ones at its end.
int written_length(const VTermScreenCell* cells, int columns, bool screen_reversed) {
  if (screen_reversed) return columns;
  while (columns > 0 && cells[columns - 1].chars[0] == 0 && VTERM_COLOR_IS_DEFAULT_BG(&cells[columns - 1].bg))
    --columns;
  return columns;
}

VTermColor to_vterm(const Colour& colour, const VTermColor& default_colour) {
  VTermColor out = default_colour;
  if (colour.kind == Colour::Kind::Palette) vterm_color_indexed(&out, colour.index);
  if (colour.kind == Colour::Kind::Direct)
    vterm_color_rgb(&out, colour.rgb.red, colour.rgb.green, colour.rgb.blue);
  return out;
}

VTermScreenCell to_vterm(const Cell& cell, const VTermState* state) {
  VTermColor default_fg;
  VTermColor default_bg;
  vterm_state_get_default_colors(state, &default_fg, &default_bg);
  VTermScreenCell out{};
  std::copy(cell.chars.begin(), cell.chars.end(), out.chars);
  if (cell.width == 0) out.chars[0] = kRightHalf;
  out.width = static_cast<char>(std::max<int>(cell.width, 1));
  out.attrs.bold = cell.style.bold;
  out.attrs.italic = cell.style.italic;
  out.attrs.blink = cell.style.blink;
  out.attrs.reverse = cell.style.reverse;
  out.attrs.strike = cell.style.strike;
  out.attrs.underline = cell.style.underline & 3u;
  out.fg = to_vterm(cell.foreground, default_fg);
  out.bg = to_vterm(cell.background, default_bg);
  return out;
}

VTermModifier vterm_modifiers(Modifiers modifiers) {
  int bits = VTERM_MOD_NONE;
  if (modifiers.shift) bits |= VTERM_MOD_SHIFT;
  if (modifiers.alt) bits |= VTERM_MOD_ALT;
  if (modifiers.ctrl) bits |= VTERM_MOD_CTRL;
  return static_cast<VTermModifier>(bits);
}

int vterm_key(Key key) {
  if (key >= Key::F1 && key <= Key::F12)
    return VTERM_KEY_FUNCTION(static_cast<int>(key) - static_cast<int>(Key::F1) + 1);
  if (key >= Key::Keypad0 && key <= Key::Keypad9)
    return VTERM_KEY_KP_0 + (static_cast<int>(key) - static_cast<int>(Key::Keypad0));
  switch (key) {
    case Key::Enter: return VTERM_KEY_ENTER;
    case Key::Up: return VTERM_KEY_UP;
    case Key::Down: return VTERM_KEY_DOWN;
    case Key::Left: return VTERM_KEY_LEFT;
    case Key::Right: return VTERM_KEY_RIGHT;
    case Key::Insert: return VTERM_KEY_INS;
    case Key::Delete: return VTERM_KEY_DEL;
    case Key::Home: return VTERM_KEY_HOME;
    case Key::End: return VTERM_KEY_END;
    case Key::PageUp: return VTERM_KEY_PAGEUP;
    case Key::PageDown: return VTERM_KEY_PAGEDOWN;
    case Key::KeypadDecimal: return VTERM_KEY_KP_PERIOD;
    case Key::KeypadPlus: return VTERM_KEY_KP_PLUS;
    case Key::KeypadMinus: return VTERM_KEY_KP_MINUS;
    case Key::KeypadMultiply: return VTERM_KEY_KP_MULT;
    case Key::KeypadDivide: return VTERM_KEY_KP_DIVIDE;
    case Key::KeypadEnter: return VTERM_KEY_KP_ENTER;
    default: return VTERM_KEY_NONE;
  }
}

bool is_keypad(Key key) { return key >= Key::Keypad0 && key <= Key::KeypadDivide; }

}  // namespace

// libvterm's callbacks, given the emulator as their user data.
struct Emulator::Callbacks {
  static Emulator& self(void* user) { return *static_cast<Emulator*>(user); }

  static int damage(VTermRect rect, void* user) {
    self(user).damage_rows(rect.start_row, rect.end_row);
    return 1;
  }

  // Rows moving up or down (a scroll, inserted or deleted lines) take their continuation marks
  // along, and rows scrolled up under the text being written are counted. 0 lets libvterm damage
  // the moved cells itself.
  static int moverect(VTermRect dest, VTermRect src, void* user) {
    Emulator& emulator = self(user);
    if (src.start_row > dest.start_row) emulator.rows_scrolled_up_ += src.start_row - dest.start_row;
    if (src.start_row != dest.start_row && src.start_col == 0 && src.end_col == emulator.columns_)
      emulator.continuations_.move(src.start_row, dest.start_row, src.end_row - src.start_row);
    return 0;
  }

  static int movecursor(VTermPos pos, VTermPos oldpos, int /*visible*/, void* user) {
    Emulator& emulator = self(user);
    emulator.damage_rows(oldpos.row, oldpos.row + 1);
    emulator.damage_rows(pos.row, pos.row + 1);
    return 1;
  }

  static int settermprop(VTermProp prop, VTermValue* value, void* user) {
    Emulator& emulator = self(user);
    if (prop == VTERM_PROP_CURSORVISIBLE) emulator.cursor_visible_ = value->boolean != 0;
    if (prop == VTERM_PROP_ALTSCREEN) {
      emulator.alternate_ = value->boolean != 0;
      emulator.continuations_.reset(emulator.rows_);  // the other screen's rows
    }
    if (prop == VTERM_PROP_REVERSE) emulator.screen_reversed_ = value->boolean != 0;
    emulator.damage_all();
    return 1;
  }

  static int bell(void* user) {
    ++self(user).bells_;
    return 1;
  }

  static int pushline(int columns, const VTermScreenCell* cells, void* user) {
    Emulator& emulator = self(user);
    CellReader reader(emulator.screen_, emulator.erased_.foreground, emulator.screen_reversed_);
    const int length = written_length(cells, columns, emulator.screen_reversed_);
    emulator.line_buffer_.resize(static_cast<std::size_t>(length));
    for (int c = 0; c < length; ++c)
      emulator.line_buffer_[static_cast<std::size_t>(c)] = reader.read(cells[c]);
    emulator.scrollback_.push(emulator.line_buffer_);
    // the top of a wrapped line leaving the screen before the line feed that ends it
    if (emulator.line_sink_ && emulator.top_row_runs_on()) emulator.line_sink_(row_text(emulator.line_buffer_));
    if (emulator.view_offset_ > 0)
      emulator.view_offset_ = std::min(emulator.view_offset_ + 1, emulator.kept_lines());
    return 1;
  }

  static int popline(int columns, VTermScreenCell* cells, void* user) {
    Emulator& emulator = self(user);
    if (!emulator.scrollback_.pop(emulator.line_buffer_)) return 0;
    emulator.view_offset_ = std::min(emulator.view_offset_, emulator.kept_lines());
    const std::vector<Cell>& line = emulator.line_buffer_;
    for (int c = 0; c < columns; ++c) {
      const auto i = static_cast<std::size_t>(c);
      const bool fits = i < line.size() && !(line[i].width == 2 && c == columns - 1);
      cells[c] = to_vterm(fits ? line[i] : emulator.erased_, emulator.state_);
    }
    return 1;
  }

  static void output(const char* bytes, std::size_t length, void* user) {
    Emulator& emulator = self(user);
    if (emulator.capture_ != nullptr) {
      emulator.capture_->append(bytes, length);
    } else if (emulator.replies_.size() + length <= kMaxReplyBytes) {
      // a whole answer or none: half a sequence would garble the far end
      emulator.replies_.append(bytes, length);
    }
  }

  static constexpr VTermScreenCallbacks kScreen{
      .damage = damage,
      .moverect = moverect,
      .movecursor = movecursor,
      .settermprop = settermprop,
      .bell = bell,
      .resize = nullptr,
      .sb_pushline = pushline,
      .sb_popline = popline,
  };
};

void Emulator::VTermDeleter::operator()(VTerm* vt) const { vterm_free(vt); }

Emulator::Emulator(const Options& options)
    : scrollback_(std::min(options.scrollback_lines, kMaxScrollbackLines)),
      backspace_(options.backspace),
      rows_(std::clamp(options.rows, 1, kMaxRows)),
      columns_(std::clamp(options.columns, kMinColumns, kMaxColumns)),
      damaged_(static_cast<std::size_t>(rows_), true) {
  vt_.reset(vterm_new(rows_, columns_));
  if (!vt_) throw std::bad_alloc();
  continuations_.reset(rows_);
  guard_.set_decoding(options.decoding);
  vterm_set_utf8(vt_.get(), 1);  // always: the guard decodes Latin-1 (libvterm's 8-bit mode strips bit 7)
  vterm_output_set_callback(vt_.get(), &Callbacks::output, this);
  screen_ = vterm_obtain_screen(vt_.get());
  state_ = vterm_obtain_state(vt_.get());
  vterm_screen_set_callbacks(screen_, &Callbacks::kScreen, this);
  vterm_screen_set_damage_merge(screen_, VTERM_DAMAGE_ROW);  // a call per changed row, not per cell
  vterm_screen_enable_altscreen(screen_, 1);
  vterm_screen_reset(screen_, 1);
  VTermScreenCell blank{};
  vterm_state_get_default_colors(state_, &blank.fg, &blank.bg);
  blank.chars[0] = U' ';  // read as written, so that the default colours are resolved
  blank.width = 1;
  erased_ = CellReader(screen_, Colour{}, false).read(blank);
  erased_.chars[0] = 0;
}

Emulator::~Emulator() = default;

void Emulator::feed(std::string_view bytes) {
  feed(std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
}

void Emulator::feed(std::span<const std::uint8_t> bytes) {
  guarded_.clear();
  guard_.pass(bytes, guarded_, static_cast<bool>(line_sink_));
  if (!line_sink_) return write_checked(0, guarded_.bytes.size());
  std::size_t start = 0;
  for (const Piece& piece : guarded_.pieces) {
    if (piece.kind == PieceKind::Text) {
      write_text(std::string_view(guarded_.bytes).substr(start, piece.end - start));
    } else {
      if (piece.kind == PieceKind::LineFeed) hand_over_line(cursor_screen_row());
      write_checked(start, piece.end);
    }
    start = piece.end;
  }
}

// libvterm holds back the damage of the row being written until it moves on or is told to flush.
void Emulator::write(std::string_view bytes) {
  vterm_input_write(vt_.get(), bytes.data(), bytes.size());
  vterm_screen_flush_damage(screen_);
}

// Writes guarded bytes [begin, end), stopping after each sequence that may have put back a cursor
// saved on a bigger screen: libvterm 0.1.4 does not bring it onto the screen, and would write
// outside its buffer there. xterm keeps it on the screen, and so does the emulator.
void Emulator::write_checked(std::size_t begin, std::size_t end) {
  const std::string_view bytes(guarded_.bytes);
  const auto& restores = guarded_.cursor_restores;
  for (auto at = std::upper_bound(restores.begin(), restores.end(), begin);
       at != restores.end() && *at <= end; ++at) {
    write(bytes.substr(begin, *at - begin));
    keep_cursor_on_screen();
    begin = *at;
  }
  write(bytes.substr(begin, end - begin));
}

void Emulator::keep_cursor_on_screen() {
  VTermPos pos;
  vterm_state_get_cursorpos(state_, &pos);
  if (pos.row >= 0 && pos.row < rows_ && pos.col >= 0 && pos.col < columns_) return;
  const int row = std::clamp(pos.row, 0, rows_ - 1);
  const int column = std::clamp(pos.col, 0, columns_ - 1);
  write("\x1b[" + std::to_string(row + 1) + ";" + std::to_string(column + 1) + "H");
}

// Rows the text wrapped away from run on onto the next; counting the rows scrolled up under the
// text finds them where they have moved to.
void Emulator::write_text(std::string_view bytes) {
  const int before = cursor_screen_row();
  rows_scrolled_up_ = 0;
  text_start_row_ = before;
  write(bytes);
  text_start_row_.reset();
  const int after = cursor_screen_row();
  const int wrapped = std::min(after - before + rows_scrolled_up_, after);
  continuations_.mark(after - wrapped, after);
}

// Whether the top row, about to scroll off, runs on onto the next: marked so, or scrolled off by
// the text being written, which wrapped from every row from where it started.
bool Emulator::top_row_runs_on() const {
  return continuations_.runs_on(0) || (text_start_row_ && *text_start_row_ - rows_scrolled_up_ <= 0);
}

// A line feed ends the line on the cursor's row, with the rows it ran on from.
void Emulator::hand_over_line(int cursor_row) {
  const int first = continuations_.line_start(cursor_row);
  for (int row = first; row <= cursor_row; ++row) line_sink_(screen_row_text(row, text_buffer_));
  continuations_.clear(first, cursor_row + 1);
}

std::string Emulator::cursor_row_text() const {
  std::string buffer;
  return std::string(screen_row_text(cursor_screen_row(), buffer));
}

// libvterm's own text of a row: blanks inside as spaces, the erased end left out, no escape sequences.
std::string_view Emulator::screen_row_text(int screen_row, std::string& buffer) const {
  constexpr std::size_t kMaxUtf8Bytes = 4;
  buffer.resize(static_cast<std::size_t>(columns_) * kMaxCharsPerCell * kMaxUtf8Bytes);
  const VTermRect row{screen_row, screen_row + 1, 0, columns_};
  std::string_view text(buffer.data(), vterm_screen_get_text(screen_, buffer.data(), buffer.size(), row));
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return text;
}

int Emulator::cursor_screen_row() const {
  VTermPos pos;
  vterm_state_get_cursorpos(state_, &pos);
  return pos.row;
}

std::string Emulator::take_replies() { return std::exchange(replies_, {}); }

void Emulator::resize(int rows, int columns) {
  rows = std::clamp(rows, 1, kMaxRows);
  columns = std::clamp(columns, kMinColumns, kMaxColumns);
  if (rows == rows_ && columns == columns_) return;
  rows_ = rows;
  columns_ = columns;
  damaged_.assign(static_cast<std::size_t>(rows_), true);
  vterm_set_size(vt_.get(), rows, columns);
  continuations_.reset(rows_);
  vterm_screen_flush_damage(screen_);
  settle_after_resize();
  view_offset_ = std::min(view_offset_, kept_lines());
  damage_all();
}

// libvterm 0.1.4 keeps a scroll region across a resize even where it now reaches past the last row
// (and writes outside its buffer there), and when the screen gets shorter it keeps the text below
// the cursor, which may move the cursor above the first row. So the region goes back to the whole
// screen, as xterm does on a resize, and the cursor onto the screen where it was; a sequence the far
// end was in the middle of is cut short.
void Emulator::settle_after_resize() {
  VTermPos pos;
  vterm_state_get_cursorpos(state_, &pos);
  const int row = std::clamp(pos.row, 0, rows_ - 1);
  guard_.reset();
  const int column = std::clamp(pos.col, 0, columns_ - 1);
  write("\x18\x1b[r\x1b[" + std::to_string(row + 1) + ";" + std::to_string(column + 1) + "H");
}

void Emulator::clear() {
  guard_.reset();
  write("\x18\x1b[H\x1b[2J");
  scrollback_.clear();
  continuations_.reset(rows_);
  view_offset_ = 0;
  damage_all();
}

Cell Emulator::cell(int row, int column) const {
  if (row < 0 || row >= rows_ || column < 0 || column >= columns_) return erased_;
  if (row < view_offset_) {
    const auto line = scrolled_back_line(row);
    return static_cast<std::size_t>(column) < line.size() ? line[static_cast<std::size_t>(column)] : erased_;
  }
  VTermScreenCell in{};
  vterm_screen_get_cell(screen_, {row - view_offset_, column}, &in);
  return CellReader(screen_, erased_.foreground, screen_reversed_).read(in);
}

void Emulator::read_row(int row, std::span<Cell> cells) const {
  if (row < 0 || row >= rows_) return read_screen_row(-1, cells);  // nothing there: erased cells
  if (row >= view_offset_) return read_screen_row(row - view_offset_, cells);
  const auto line = scrolled_back_line(row);
  for (std::size_t c = 0; c < cells.size(); ++c) cells[c] = c < line.size() ? line[c] : erased_;
}

// The scrollback line shown on viewport row `row` (above view_offset_).
std::span<const Cell> Emulator::scrolled_back_line(int row) const {
  return scrollback_.line(scrollback_.size() - static_cast<std::size_t>(view_offset_ - row));
}

void Emulator::read_screen_row(int screen_row, std::span<Cell> cells) const {
  CellReader reader(screen_, erased_.foreground, screen_reversed_);
  const bool on_screen = screen_row >= 0 && screen_row < rows_;
  for (std::size_t c = 0; c < cells.size(); ++c) {
    VTermScreenCell in{};
    if (!on_screen || c >= static_cast<std::size_t>(columns_)) {
      cells[c] = erased_;
    } else {
      vterm_screen_get_cell(screen_, {screen_row, static_cast<int>(c)}, &in);
      cells[c] = reader.read(in);
    }
  }
}

Rgb Emulator::palette_colour(std::uint8_t index) const {
  VTermColor colour;
  vterm_color_indexed(&colour, index);
  vterm_screen_convert_color_to_rgb(screen_, &colour);
  return {colour.rgb.red, colour.rgb.green, colour.rgb.blue};
}

Cursor Emulator::cursor() const {
  VTermPos pos;
  vterm_state_get_cursorpos(state_, &pos);
  const int row = pos.row + view_offset_;
  return {row, pos.col, cursor_visible_ && row < rows_};
}

std::vector<bool> Emulator::take_damage() {
  std::vector<bool> damage(static_cast<std::size_t>(rows_), false);
  damage.swap(damaged_);
  return damage;
}

void Emulator::damage_rows(int first, int end) {
  if (view_offset_ > 0) return damage_all();  // the view is not where libvterm's rows are
  first = std::max(first, 0);
  end = std::min(end, rows_);
  for (int row = first; row < end; ++row) damaged_[static_cast<std::size_t>(row)] = true;
  ++generation_;
}

void Emulator::damage_all() {
  std::fill(damaged_.begin(), damaged_.end(), true);
  ++generation_;
}

void Emulator::scroll_view(int lines) {
  const auto wanted = static_cast<std::int64_t>(view_offset_) + lines;
  const int offset = static_cast<int>(std::clamp<std::int64_t>(wanted, 0, kept_lines()));
  if (offset == view_offset_) return;
  view_offset_ = offset;
  damage_all();
}

int Emulator::kept_lines() const { return static_cast<int>(scrollback_.size()); }

template <typename Call>
std::string Emulator::captured_output(Call call) {
  std::string bytes;
  capture_ = &bytes;
  call();
  capture_ = nullptr;
  return bytes;
}

std::string Emulator::libvterm_key(int key, Modifiers modifiers) {
  return captured_output(
      [&] { vterm_keyboard_key(vt_.get(), static_cast<VTermKey>(key), vterm_modifiers(modifiers)); });
}

std::string Emulator::key(Key key, Modifiers modifiers) {
  if (auto fixed = fixed_key_bytes(key, modifiers, backspace_)) return *fixed;
  if (key == Key::Enter || key == Key::KeypadEnter) return enter_bytes(key, modifiers);
  if (is_keypad(key)) return keypad_bytes(key, modifiers);
  return libvterm_key(vterm_key(key), modifiers);
}

// Enter sends CR (CR LF in newline mode) whatever Shift and Ctrl say, as xterm does.
std::string Emulator::enter_bytes(Key key, Modifiers modifiers) {
  std::string bytes = libvterm_key(vterm_key(key), {});
  // libvterm's keypad Enter sends LF in numeric mode; xterm's sends what Enter does
  if (bytes == "\n") bytes = libvterm_key(VTERM_KEY_ENTER, {});
  if (modifiers.alt) bytes.insert(bytes.begin(), '\x1b');
  return bytes;
}

// In numeric keypad mode a keypad key is its character, modifiers and all.
std::string Emulator::keypad_bytes(Key key, Modifiers modifiers) {
  const std::string plain = libvterm_key(vterm_key(key), {});
  if (plain.size() == 1) return character_bytes(static_cast<unsigned char>(plain[0]), modifiers, decoding());
  return libvterm_key(vterm_key(key), modifiers);
}

std::string Emulator::character(char32_t c, Modifiers modifiers) {
  return character_bytes(c, modifiers, decoding());
}

std::vector<std::string> Emulator::paste(std::string_view utf8_text, std::size_t chunk_size) {
  const std::string open = captured_output([&] { vterm_keyboard_start_paste(vt_.get()); });
  const std::string close = captured_output([&] { vterm_keyboard_end_paste(vt_.get()); });
  return cut_into_chunks(paste_bytes(utf8_text, decoding(), open, close), chunk_size);
}

std::int64_t Emulator::first_screen_line() const {
  return scrollback_.dropped() + static_cast<std::int64_t>(scrollback_.size());
}

LinePosition Emulator::position_at(int row, int column) const {
  return {first_screen_line() - view_offset_ + row, column};
}

void Emulator::read_line(std::int64_t line, std::vector<Cell>& cells) const {
  const std::int64_t screen_row = line - first_screen_line();
  if (screen_row >= 0) {
    cells.resize(static_cast<std::size_t>(columns_));
    read_screen_row(static_cast<int>(screen_row), cells);
  } else {
    const auto kept = scrollback_.line(static_cast<std::size_t>(line - first_line()));
    cells.assign(kept.begin(), kept.end());
  }
}

std::vector<Cell> Emulator::line(std::int64_t number) const {
  std::vector<Cell> cells;
  if (number >= first_line() && number < first_screen_line() + rows_) read_line(number, cells);
  return cells;
}

std::string Emulator::text(LinePosition from, LinePosition to) const {
  if (to < from) std::swap(from, to);
  const std::int64_t first = std::max(from.line, first_line());
  const std::int64_t last = std::min(to.line, first_screen_line() + rows_ - 1);
  std::string out;
  std::vector<Cell> cells;
  for (std::int64_t line = first; line <= last; ++line) {
    read_line(line, cells);
    const auto clamp = [&](int column) {
      return std::clamp<std::size_t>(static_cast<std::size_t>(std::max(column, 0)), 0, cells.size());
    };
    const std::size_t begin = line == from.line ? clamp(from.column) : 0;
    const std::size_t end = line == to.line ? clamp(to.column) : cells.size();
    if (line > first) out += '\n';
    if (begin < end) out += row_text(std::span<const Cell>(cells).subspan(begin, end - begin));
  }
  return out;
}

}  // namespace terminal
