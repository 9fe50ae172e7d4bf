// What stands between the line and libvterm: it decodes Latin-1 when asked, and keeps out the few
// byte sequences libvterm 0.1.4 cannot take safely, so that any stream is safe to feed it.
//
// libvterm 0.1.4 (Debian 12) has these faults on hostile input:
//   - a control sequence with more than 16 parameters writes past its parameter array (a crash);
//   - a parameter is summed in a long without a bound, so a long digit string overflows;
//   - REP (CSI n b) loops for ever when the character before it has no width (none written yet,
//     a zero-width or combining character), and crashes after a wide one on a double-width line;
//   - a C1 control sent as UTF-8 (U+0080-U+009F) has width -1 and moves the cursor to column -1;
//   - its UTF-8 decoder keeps a half-read character across controls, sequences and ASCII text that
//     starts a write, so a stray continuation byte much later completes it (a C1 control again),
//     and when an ASCII byte cuts a character short it stores two code points where its buffer may
//     have room for one.
// The guard follows the sequence structure exactly as libvterm's parser does (ESC, CSI with leader,
// parameters and intermediates, OSC and DCS strings ended by BEL or ESC \, C0 controls acting inside
// sequences, CAN and SUB cancelling) and:
//   - cancels a control sequence with more than 16 parameters or a parameter over 99999, as tmux
//     does: it sends CAN in its place and drops the rest of the sequence up to its final byte;
//   - cancels a REP unless the last character written is one whose width is sure to be 1 (printable
//     ASCII, Latin-1 letters and signs, box drawing and blocks);
//   - passes text as well-formed UTF-8 only: it holds a character's bytes until it is whole, shows
//     one cut short (by any other byte) or malformed (overlong, surrogate, past U+10FFFF, a stray
//     byte) as U+FFFD, as libvterm would, and drops a C1 control sent as UTF-8.
// Everything else passes unchanged and in order, at once but for the bytes of a character not yet
// whole (three at most) and OSC and DCS strings: libvterm 0.1.4 loses the part of a string that came
// in an earlier write (a title or a DECRQSS request cut by the line's timing), so the guard holds a
// string back until its end and passes it whole; one longer than kMaxHeldString bytes passes as it
// comes (libvterm keeps only the start of long ones).
//
// The guard also notes where its output has a sequence that may put back a saved cursor (DECRC,
// SCORC, the end of a private mode such as 1049), for the emulator to keep that cursor on a screen
// that has got smaller since.
//
// Latin-1: each byte from 0xA0 becomes its character in UTF-8, and 0x80-0x9F become the C1 controls
// they are on an 8-bit terminal, written as ESC and a letter (0x9B is ESC [, CSI). libvterm runs in
// UTF-8 mode throughout: its own 8-bit mode strips the high bit of 0xA0-0xFF instead of showing
// Latin-1.
//
// Pieces. When asked, the guard also marks where its output holds printed text, a line feed (LF,
// VT or FF, which libvterm carries out wherever they stand) or anything else, so the emulator can
// see each row as it is finished.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace terminal {

enum class Decoding { Utf8, Latin1 };

enum class PieceKind : std::uint8_t { Text, LineFeed, Other };

struct Piece {
  std::size_t end;  // offset just past the piece in the guarded bytes
  PieceKind kind;
};

struct GuardedBytes {
  std::string bytes;
  std::vector<Piece> pieces;  // filled only when the guard was asked to mark them
  // Offsets just past each sequence that may put back a saved cursor (DECRC, SCORC, and a reset of
  // a private mode such as 1049): one saved on a taller screen may be past its end now.
  std::vector<std::size_t> cursor_restores;
  void clear() {
    bytes.clear();
    pieces.clear();
    cursor_restores.clear();
  }
};

inline constexpr int kMaxSequenceParameters = 16;
inline constexpr int kMaxParameterDigits = 5;
inline constexpr std::size_t kMaxHeldString = 1024;

class InputGuard {
 public:
  void set_decoding(Decoding decoding) { decoding_ = decoding; }
  Decoding decoding() const { return decoding_; }

  // Forgets the sequence, string or character under way (the caller has told libvterm to cancel it).
  void reset();

  // Appends the guarded form of `in` to `out`, and marks its pieces when `mark_pieces`.
  void pass(std::span<const std::uint8_t> in, GuardedBytes& out, bool mark_pieces);

 private:
  enum class State : std::uint8_t {
    Text,
    Escape,
    CsiLeader,
    CsiParameters,
    CsiIntermediates,
    CsiCancelled,
    String,
    EscapeInString,
  };

  std::size_t plain_text_run(std::span<const std::uint8_t> in) const;
  void emit_text_run(std::span<const std::uint8_t> run);
  void take(std::uint8_t byte);
  void take_latin1(std::uint8_t byte);
  bool take_control(std::uint8_t byte);
  void take_in_state(std::uint8_t byte);
  void take_escape(std::uint8_t byte);
  void take_csi_leader(std::uint8_t byte);
  void take_csi_parameter(std::uint8_t byte);
  void take_csi_intermediate(std::uint8_t byte);
  void take_csi_final(std::uint8_t byte);
  void take_cancelled(std::uint8_t byte);
  void take_string(std::uint8_t byte);
  void take_text(std::uint8_t byte);
  void add_to_character(std::uint8_t byte);
  void abandon_character();
  void emit_replacement();
  void cancel_sequence();
  void release_held();
  void emit(std::uint8_t byte, PieceKind kind);

  Decoding decoding_ = Decoding::Utf8;
  State state_ = State::Text;
  bool escape_intermediates_ = false;
  bool plain_csi_ = true;  // no leader and no intermediates: a candidate for REP
  int separators_ = 0;
  int digits_ = 0;  // significant digits of the parameter being read
  // The UTF-8 character being read from text, held until it is whole.
  std::array<std::uint8_t, 4> character_{};
  int character_length_ = 0;
  int character_missing_ = 0;
  bool last_character_sure_ = false;  // the last character written has width 1 for certain
  bool holding_ = false;              // the body of an OSC or DCS string is held back
  std::string held_;
  GuardedBytes* out_ = nullptr;
  bool mark_pieces_ = false;
};

}  // namespace terminal
