#include "platform/terminal_surface.h"

#include <vector>

namespace platform {

TerminalSurface::TerminalSurface() : emulator_(terminal::Options{}) {}

void TerminalSurface::set_shown(bool shown) {
  if (shown == shown_) return;
  shown_ = shown;
  if (shown_listener_) shown_listener_(shown);
}

void TerminalSurface::set_size(TerminalSize size) { emulator_.resize(size.rows, size.columns); }

void TerminalSurface::offer(TerminalInput::Kind kind, std::string_view bytes) {
  // Whoever types wants to see where the answer comes.
  emulator_.scroll_to_live();
  if (bytes.empty() || !input_listener_) return;
  input_listener_({kind, bytes});
}

void TerminalSurface::key(terminal::Key key, terminal::Modifiers modifiers) {
  offer(TerminalInput::Kind::Typed, emulator_.key(key, modifiers));
}

void TerminalSurface::character(char32_t c, terminal::Modifiers modifiers) {
  offer(TerminalInput::Kind::Typed, emulator_.character(c, modifiers));
}

void TerminalSurface::paste(std::string_view utf8_text) { offer(TerminalInput::Kind::Paste, utf8_text); }

void TerminalSurface::select(terminal::LinePosition anchor, terminal::LinePosition head) {
  if (selection_ && selection_->anchor == anchor && selection_->head == head) return;
  selection_ = TerminalSelection{anchor, head};
  ++selection_changes_;
}

void TerminalSurface::select_word(int row, int column) {
  const terminal::LinePosition at = emulator_.position_at(row, column);
  const std::vector<terminal::Cell> cells = emulator_.line(at.line);
  const auto word = [&](int c) {
    return c >= 0 && c < static_cast<int>(cells.size()) && !cells[static_cast<std::size_t>(c)].blank();
  };
  if (!word(column)) return clear_selection();
  int begin = column;
  int end = column + 1;
  while (word(begin - 1)) --begin;
  while (word(end)) ++end;
  select({at.line, begin}, {at.line, end});
}

void TerminalSurface::clear_selection() {
  if (!selection_) return;
  selection_.reset();
  ++selection_changes_;
}

bool TerminalSurface::selected(int row, int column) const {
  if (!selection_) return false;
  const terminal::LinePosition at = emulator_.position_at(row, column);
  return selection_->from() <= at && at < selection_->to();
}

std::string TerminalSurface::selected_text() const {
  if (!selection_) return {};
  return emulator_.text(selection_->from(), selection_->to());
}

void TerminalSurface::clear() {
  clear_selection();
  emulator_.clear();
}

}  // namespace platform
