// The terminal screen as the program sees it: the emulator (terminal/) that the send port's bytes
// are fed to and that the window paints in place of the trace, the user's selection on it, and
// what the user types or pastes into it.
//
// How it works
//   The window turns the user's keys into terminal keys and characters; the surface has the
//   emulator encode them for the modes the far end set (application cursor keys and the like) and
//   hands the bytes to its input listener, and a paste's text likewise. It sends nothing itself:
//   the host connects the listener to the dialog procedure, which puts the bytes on the line. A key
//   or paste brings a view scrolled back into the scrollback to the live screen first.
//
//   Scrolling back, selecting and copying are the surface's own; the far end knows nothing of them.
//   A selection runs from one cell to another in the emulator's line numbers, so it stays on its
//   text while the screen scrolls.
//
//   The size, the decoding of received bytes and what Backspace sends are settings the user picks
//   in the window, kept in the emulator. A new size tells nothing to the far end (a serial line has
//   no window size to report) and keeps the content.
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "terminal/emulator.h"

namespace platform {

// What the user typed or pasted into the terminal.
struct TerminalInput {
  enum class Kind : std::uint8_t { Typed, Paste };
  Kind kind = Kind::Typed;
  std::string_view bytes;  // Typed: the bytes the key sends; Paste: the text, UTF-8
};

struct TerminalSize {
  int rows = 24;
  int columns = 80;
  bool operator==(const TerminalSize&) const = default;
};

// A selection from `anchor` (where the mouse went down) to `head`, in either order.
struct TerminalSelection {
  terminal::LinePosition anchor;
  terminal::LinePosition head;
  terminal::LinePosition from() const { return std::min(anchor, head); }
  terminal::LinePosition to() const { return std::max(anchor, head); }
  bool operator==(const TerminalSelection&) const = default;
};

class TerminalSurface {
 public:
  using InputListener = std::function<void(const TerminalInput&)>;
  using ShownListener = std::function<void(bool shown)>;

  TerminalSurface();

  terminal::Emulator& emulator() { return emulator_; }
  const terminal::Emulator& emulator() const { return emulator_; }

  // ---- Shown in place of the trace ----
  void set_shown_listener(ShownListener listener) { shown_listener_ = std::move(listener); }
  void set_shown(bool shown);
  bool shown() const { return shown_; }

  // ---- Settings ----
  void set_size(TerminalSize size);  // clamped to the emulator's limits
  TerminalSize size() const { return {emulator_.rows(), emulator_.columns()}; }
  void set_decoding(terminal::Decoding decoding) { emulator_.set_decoding(decoding); }
  terminal::Decoding decoding() const { return emulator_.decoding(); }
  void set_backspace(terminal::BackspaceSends backspace) { emulator_.set_backspace(backspace); }
  terminal::BackspaceSends backspace() const { return emulator_.backspace(); }

  // ---- What the user types and pastes ----
  void set_input_listener(InputListener listener) { input_listener_ = std::move(listener); }
  void key(terminal::Key key, terminal::Modifiers modifiers = {});
  void character(char32_t c, terminal::Modifiers modifiers = {});
  void paste(std::string_view utf8_text);

  // ---- Scrollback ----
  // Moves the view `lines` further back (negative: toward the live screen); a page is the screen's
  // rows less one, so one line stays in sight.
  void scroll_view(int lines) { emulator_.scroll_view(lines); }
  void page_back() { scroll_view(std::max(1, emulator_.rows() - 1)); }
  void page_forward() { scroll_view(-std::max(1, emulator_.rows() - 1)); }

  // ---- Selection ----
  void select(terminal::LinePosition anchor, terminal::LinePosition head);
  // The word (a run of characters that are not blanks) around a viewport cell, or nothing there.
  void select_word(int row, int column);
  void clear_selection();
  const std::optional<TerminalSelection>& selection() const { return selection_; }
  // Whether the viewport cell lies inside the selection.
  bool selected(int row, int column) const;
  // The selected text, UTF-8, its lines ended by LF; empty without a selection.
  std::string selected_text() const;

  // Erases the screen, the scrollback and the selection.
  void clear();

  // Goes up with every change to what the window shows: the emulator's and the selection's.
  std::uint64_t revision() const { return emulator_.generation() + selection_changes_; }

 private:
  void offer(TerminalInput::Kind kind, std::string_view bytes);

  terminal::Emulator emulator_;
  bool shown_ = false;
  std::optional<TerminalSelection> selection_;
  std::uint64_t selection_changes_ = 0;
  ShownListener shown_listener_;
  InputListener input_listener_;
};

}  // namespace platform
