#include "terminal/input_guard.h"

namespace terminal {

namespace {

constexpr std::uint8_t kEsc = 0x1B;
constexpr std::uint8_t kCan = 0x18;
constexpr std::uint8_t kBel = 0x07;

bool is_intermediate(std::uint8_t byte) { return byte >= 0x20 && byte <= 0x2F; }
bool is_final(std::uint8_t byte) { return byte >= 0x40 && byte <= 0x7E; }
bool is_line_feed(std::uint8_t byte) { return byte >= 0x0A && byte <= 0x0C; }

// How many continuation bytes follow `lead` in well-formed UTF-8; 0 for a byte that starts nothing.
int continuation_count(std::uint8_t lead) {
  if (lead < 0xC2) return 0;
  if (lead < 0xE0) return 1;
  if (lead < 0xF0) return 2;
  return lead < 0xF5 ? 3 : 0;
}

// The range of the continuation byte at `index` after `lead`, which rules out overlong forms,
// surrogates and values past U+10FFFF.
std::uint8_t continuation_floor(std::uint8_t lead, int index) {
  if (index == 1 && lead == 0xE0) return 0xA0;
  return index == 1 && lead == 0xF0 ? 0x90 : 0x80;
}

std::uint8_t continuation_ceiling(std::uint8_t lead, int index) {
  if (index == 1 && lead == 0xED) return 0x9F;
  return index == 1 && lead == 0xF4 ? 0x8F : 0xBF;
}

// Characters libvterm surely draws one column wide: Latin-1 letters and signs (not the soft
// hyphen, which has no width), box drawing, blocks and geometric shapes (U+2500-U+25FF).
bool sure_of_width(std::uint8_t lead, std::uint8_t second) {
  if (lead == 0xC2) return second >= 0xA0 && second != 0xAD;
  if (lead == 0xC3) return true;
  return lead == 0xE2 && second >= 0x94 && second <= 0x97;
}

}  // namespace

void InputGuard::pass(std::span<const std::uint8_t> in, GuardedBytes& out, bool mark_pieces) {
  out_ = &out;
  mark_pieces_ = mark_pieces;
  out.bytes.reserve(out.bytes.size() + in.size());
  for (std::size_t at = 0; at < in.size();) {
    const std::size_t run = plain_text_run(in.subspan(at));
    if (run > 0) {
      emit_text_run(in.subspan(at, run));
      at += run;
    } else if (decoding_ == Decoding::Latin1) {
      take_latin1(in[at++]);
    } else {
      take(in[at++]);
    }
  }
  out_ = nullptr;
}

// Most of a stream is printable ASCII between sequences: such a run passes whole.
std::size_t InputGuard::plain_text_run(std::span<const std::uint8_t> in) const {
  if (state_ != State::Text || character_length_ > 0 || holding_) return 0;
  std::size_t run = 0;
  while (run < in.size() && in[run] >= 0x20 && in[run] < 0x7F) ++run;
  return run;
}

void InputGuard::emit_text_run(std::span<const std::uint8_t> run) {
  out_->bytes.append(reinterpret_cast<const char*>(run.data()), run.size());
  last_character_sure_ = true;
  if (!mark_pieces_) return;
  auto& pieces = out_->pieces;
  if (pieces.empty() || pieces.back().kind != PieceKind::Text) pieces.push_back({0, PieceKind::Text});
  pieces.back().end = out_->bytes.size();
}

void InputGuard::reset() {
  state_ = State::Text;
  holding_ = false;
  held_.clear();
  character_length_ = 0;
}

void InputGuard::take_latin1(std::uint8_t byte) {
  if (byte < 0x80) {
    take(byte);
  } else if (byte < 0xA0) {
    take(kEsc);
    take(static_cast<std::uint8_t>(byte - 0x40));
  } else {
    take(static_cast<std::uint8_t>(0xC0 | byte >> 6));
    take(static_cast<std::uint8_t>(0x80 | (byte & 0x3F)));
  }
}

void InputGuard::take(std::uint8_t byte) {
  if (character_length_ > 0 && (state_ != State::Text || byte < 0x80)) abandon_character();
  if (!take_control(byte)) take_in_state(byte);
  if (holding_ && state_ != State::String && state_ != State::EscapeInString) release_held();
}

// The whole string goes to libvterm in one write, and a string too long to hold as far as it was held.
void InputGuard::release_held() {
  holding_ = false;
  for (char byte : held_) emit(static_cast<std::uint8_t>(byte), PieceKind::Other);
  held_.clear();
}

// The bytes libvterm acts on the same way in every state.
bool InputGuard::take_control(std::uint8_t byte) {
  if (byte == 0x00 || byte == 0x7F) {
    emit(byte, PieceKind::Other);  // ignored by libvterm, in any state
    return true;
  }
  if (byte == kCan || byte == 0x1A) {
    emit(byte, PieceKind::Other);
    state_ = State::Text;
    return true;
  }
  if (byte == kEsc) {
    emit(byte, PieceKind::Other);
    state_ = state_ == State::String ? State::EscapeInString : State::Escape;
    escape_intermediates_ = false;
    return true;
  }
  if (byte >= 0x20 || (byte == kBel && state_ == State::String)) return false;
  emit(byte, is_line_feed(byte) ? PieceKind::LineFeed : PieceKind::Other);
  return true;
}

void InputGuard::take_in_state(std::uint8_t byte) {
  switch (state_) {
    case State::Text: return take_text(byte);
    case State::Escape: return take_escape(byte);
    case State::CsiLeader: return take_csi_leader(byte);
    case State::CsiParameters: return take_csi_parameter(byte);
    case State::CsiIntermediates: return take_csi_intermediate(byte);
    case State::CsiCancelled: return take_cancelled(byte);
    case State::String: return take_string(byte);
    case State::EscapeInString:
      if (byte == '\\') {
        emit(byte, PieceKind::Other);
        state_ = State::Text;
        return;
      }
      state_ = State::Escape;  // any other ESC ends the string and starts a sequence of its own
      release_held();
      return take_escape(byte);
  }
}

void InputGuard::take_escape(std::uint8_t byte) {
  emit(byte, PieceKind::Other);
  if (byte == 'P' || byte == ']') {
    state_ = State::String;
    holding_ = true;
  } else if (byte == '[') {
    state_ = State::CsiLeader;
    plain_csi_ = true;
    separators_ = 0;
    digits_ = 0;
  } else if (is_intermediate(byte)) {
    escape_intermediates_ = true;
  } else if (byte >= 0x30 && byte <= 0x7E) {
    state_ = State::Text;
    if (byte == '8' && !escape_intermediates_) out_->cursor_restores.push_back(out_->bytes.size());
  }
  // libvterm ignores a byte from 0x80 here and stays in the escape sequence
}

void InputGuard::take_csi_leader(std::uint8_t byte) {
  if (byte >= 0x3C && byte <= 0x3F) {
    emit(byte, PieceKind::Other);
    plain_csi_ = false;
    return;
  }
  state_ = State::CsiParameters;
  take_csi_parameter(byte);
}

void InputGuard::take_csi_parameter(std::uint8_t byte) {
  if (byte >= '0' && byte <= '9') {
    if (byte != '0' || digits_ > 0) ++digits_;
    if (digits_ > kMaxParameterDigits) return cancel_sequence();
    return emit(byte, PieceKind::Other);
  }
  if (byte == ';' || byte == ':') {
    if (++separators_ >= kMaxSequenceParameters) return cancel_sequence();
    digits_ = 0;
    return emit(byte, PieceKind::Other);
  }
  state_ = State::CsiIntermediates;
  take_csi_intermediate(byte);
}

void InputGuard::take_csi_intermediate(std::uint8_t byte) {
  if (is_intermediate(byte)) {
    emit(byte, PieceKind::Other);
    plain_csi_ = false;
  } else if (is_final(byte)) {
    take_csi_final(byte);
  } else {
    emit(byte, PieceKind::Other);  // an invalid sequence: libvterm drops it with this byte
    state_ = State::Text;
  }
}

void InputGuard::take_csi_final(std::uint8_t byte) {
  state_ = State::Text;
  const bool unsafe_repeat = byte == 'b' && plain_csi_ && !last_character_sure_;
  emit(unsafe_repeat ? kCan : byte, PieceKind::Other);
  if (byte == 'u' || byte == 'l') out_->cursor_restores.push_back(out_->bytes.size());
}

void InputGuard::cancel_sequence() {
  emit(kCan, PieceKind::Other);
  state_ = State::CsiCancelled;
}

// What is left of a cancelled sequence goes nowhere, up to and with its final byte.
void InputGuard::take_cancelled(std::uint8_t byte) {
  if (byte >= 0x40) state_ = State::Text;
}

void InputGuard::take_string(std::uint8_t byte) {
  emit(byte, PieceKind::Other);
  if (byte == kBel) state_ = State::Text;
}

void InputGuard::take_text(std::uint8_t byte) {
  if (character_length_ > 0) return add_to_character(byte);
  if (byte < 0x80) {
    last_character_sure_ = true;
    return emit(byte, PieceKind::Text);
  }
  const int count = continuation_count(byte);
  if (count == 0) return emit_replacement();
  character_[0] = byte;
  character_length_ = 1;
  character_missing_ = count;
}

void InputGuard::add_to_character(std::uint8_t byte) {
  if (byte < continuation_floor(character_[0], character_length_) ||
      byte > continuation_ceiling(character_[0], character_length_)) {
    abandon_character();
    return take_text(byte);
  }
  character_[static_cast<std::size_t>(character_length_++)] = byte;
  if (--character_missing_ > 0) return;
  const bool c1_control = character_[0] == 0xC2 && character_[1] < 0xA0;  // would take column -1
  if (!c1_control)
    for (int i = 0; i < character_length_; ++i)
      emit(character_[static_cast<std::size_t>(i)], PieceKind::Text);
  last_character_sure_ = !c1_control && sure_of_width(character_[0], character_[1]);
  character_length_ = 0;
}

// A character cut short shows as U+FFFD, as libvterm shows it, but here, so that libvterm's decoder
// is never left halfway.
void InputGuard::abandon_character() {
  if (character_length_ == 0) return;
  character_length_ = 0;
  emit_replacement();
}

void InputGuard::emit_replacement() {
  for (std::uint8_t byte : {0xEF, 0xBF, 0xBD}) emit(byte, PieceKind::Text);
  last_character_sure_ = false;
}

void InputGuard::emit(std::uint8_t byte, PieceKind kind) {
  if (holding_) {
    held_.push_back(static_cast<char>(byte));
    if (held_.size() >= kMaxHeldString) release_held();
    return;
  }
  out_->bytes.push_back(static_cast<char>(byte));
  if (!mark_pieces_) return;
  auto& pieces = out_->pieces;
  if (pieces.empty() || pieces.back().kind != kind || kind == PieceKind::LineFeed)
    pieces.push_back({0, kind});
  pieces.back().end = out_->bytes.size();
}

}  // namespace terminal
