#include "views/ansi_parser.h"

#include <algorithm>

#include "core/hex.h"
#include "core/screen_ops.h"
#include "views/ansi_terminal.h"

using platform::DialogHost;

namespace {

constexpr unsigned char ESC = 0x1B;
constexpr unsigned char SEMI = 0x3B;
constexpr unsigned char BS = 0x08;
constexpr unsigned char LF = 0x0A;
constexpr unsigned char HT = 0x09;
constexpr unsigned char BEL = 0x07;
constexpr unsigned char CAN = 0x18;
constexpr unsigned char SUB = 0x1A;

// Row and column numbers beyond any screen are held here, so long digit runs cannot overflow.
constexpr int kMaxNumber = 999;

bool is_digit(unsigned char c) { return c >= '0' && c <= '9'; }
int add_digit(int number, unsigned char c) { return std::min(number * 10 + (c - '0'), kMaxNumber); }

// The display acts on the key as if it were typed (it is never sent); then the page is realigned.
void move_by_key(DialogHost& hwnd, int vk) {
  hex_screen_backdoor(hwnd, vk);
  hex_ansi_scroll(hwnd);
}

struct Sequence {
  int lead;   // the character after ESC, or the parameter digit
  int final;  // the character that ends the sequence
  void (*act)(DialogHost&);
};

// Sequences without a parameter: ESC lead final.
constexpr Sequence kWithoutParameter[] = {
    {'[', 'A', [](DialogHost& h) { move_by_key(h, platform::VK_UP); }},
    {'[', 'B', [](DialogHost& h) { move_by_key(h, platform::VK_DOWN); }},
    {'[', 'C', [](DialogHost& h) { move_by_key(h, platform::VK_RIGHT); }},
    {'[', 'D', [](DialogHost& h) { move_by_key(h, platform::VK_LEFT); }},
    {'[', 'H', hex_ansi_go_home},
    {'[', 'f', hex_ansi_go_home},
    {'[', 'J', hex_ansi_go_clr_eos},
    {'[', 'K', hex_ansi_go_clr_eol},
    {'O', 'P', [](DialogHost& h) { move_by_key(h, platform::VK_PRIOR); }},
    {'O', 'Q', hex_ansi_go_end},
    {'O', 'S', [](DialogHost& h) { move_by_key(h, platform::VK_NEXT); }},
};

// Sequences with one parameter digit: ESC [ digit final (the character after ESC is not examined).
constexpr Sequence kWithDigit[] = {
    {'0', 'J', hex_ansi_go_clr_eos},
    {'0', 'K', hex_ansi_go_clr_eol},
    {'2', 'J', [](DialogHost& h) { h.screen().set_text(""); }},
    {'2', 'K', hex_ansi_clr_line},
};

template <std::size_t N>
void carry_out(const Sequence (&table)[N], DialogHost& hwnd, int lead, int final) {
  for (const Sequence& sequence : table) {
    if (sequence.lead == lead && sequence.final == final) {
      sequence.act(hwnd);
      return;
    }
  }
}

// The parser's fields of a port record, worked on in locals and stored back after the block.
struct Parser {
  int state;
  int code;
  int data;
  int data0;
  int y;
  int x;
};

// What ends a sequence, as ECMA-48 shapes them: after ESC [ parameter bytes (0x30-0x3F) and
// intermediate bytes (0x20-0x2F) come before one final byte (0x40-0x7E); after ESC itself, any
// intermediate bytes come before one final byte 0x30-0x7E.
bool is_final(unsigned char c) { return c >= 0x40 && c <= 0x7E; }
bool ends_escape(unsigned char c) { return c >= 0x30 && c <= 0x7E; }
bool starts_string(unsigned char c) { return c == ']' || c == 'P' || c == 'X' || c == '^' || c == '_'; }

// A byte that no form acted on: the sequence ends if it is a final byte, and otherwise its rest is
// consumed up to the final byte, so no parameter of it is ever shown.
int end_or_rest(unsigned char c) { return is_final(c) ? HEX_ANSI_IDLE : HEX_ANSI_LAST; }

// The character after ESC: a control sequence or SS3 collects parameters; a string (OSC, DCS, PM,
// APC, SOS) runs to BEL or ST; ESC with intermediates (ESC ( B) waits for its final byte; ESC with
// a final byte of its own (ESC 7, ESC c, ESC M) is complete.
int after_escape(Parser& p, unsigned char c) {
  p.code = c;
  if (c == '[' || c == 'O') return HEX_ANSI_DATA;
  if (starts_string(c)) return HEX_ANSI_STRING;
  return ends_escape(c) ? HEX_ANSI_IDLE : HEX_ANSI_ESC_INTERMEDIATE;
}

// The first character after ESC [ or ESC O: a row digit, a ';' of an empty row, a private or other
// parameter byte, or the final of a sequence without parameter.
int first_after_code(DialogHost& hwnd, Parser& p, unsigned char c) {
  p.data = c;
  if (is_digit(c)) {
    p.y = c - '0';
    return HEX_ANSI_Y0;
  }
  if (c == SEMI && p.code == '[') {
    p.y = 0;
    return HEX_ANSI_X1;
  }
  if (!is_final(c)) return HEX_ANSI_LAST;
  carry_out(kWithoutParameter, hwnd, p.code, c);
  return HEX_ANSI_IDLE;
}

// Rows and columns are counted from 1 on the line; 0 or none means 1, as on any ANSI terminal.
int go_to(DialogHost& hwnd, const Parser& p) {
  hex_goto_line_column(hwnd, std::max(p.y, 1) - 1, std::max(p.x, 1) - 1);
  return HEX_ANSI_IDLE;
}

// One byte of a sequence, other than ESC and a control byte; returns the next state.
int step(DialogHost& hwnd, Parser& p, unsigned char c) {
  switch (p.state) {
    case HEX_ANSI_CODE:
      return after_escape(p, c);
    case HEX_ANSI_DATA:
    case HEX_ANSI_Y1:
      return first_after_code(hwnd, p, c);
    case HEX_ANSI_Y0:
      p.data0 = c;
      if (is_digit(c)) {
        p.y = add_digit(p.y, c);
        return HEX_ANSI_SEMI;
      }
      // A row of one digit, as ANSI hosts send rows 1 to 9.
      if (c == SEMI) return HEX_ANSI_X1;
      carry_out(kWithDigit, hwnd, p.data, c);
      return end_or_rest(c);
    case HEX_ANSI_SEMI:
      p.data = c;
      if (is_digit(c)) {
        p.y = add_digit(p.y, c);
        return HEX_ANSI_SEMI;
      }
      return c == SEMI ? HEX_ANSI_X1 : end_or_rest(c);
    case HEX_ANSI_X1:
      p.data = c;
      p.x = 0;
      if (is_digit(c)) {
        p.x = c - '0';
        return HEX_ANSI_X0;
      }
      return c == 'H' || c == 'f' ? go_to(hwnd, p) : end_or_rest(c);
    case HEX_ANSI_X0:
      p.data0 = c;
      if (is_digit(c)) {
        p.x = add_digit(p.x, c);
        return HEX_ANSI_X0;
      }
      return c == 'H' || c == 'f' ? go_to(hwnd, p) : end_or_rest(c);
    case HEX_ANSI_STRING:
      return HEX_ANSI_STRING;
    case HEX_ANSI_ESC_INTERMEDIATE:
      return ends_escape(c) ? HEX_ANSI_IDLE : HEX_ANSI_ESC_INTERMEDIATE;
    default:  // HEX_ANSI_LAST, or a state no transition sets: the rest of a sequence, up to its final
      p.data = c;
      return is_final(c) ? HEX_ANSI_IDLE : HEX_ANSI_LAST;
  }
}

bool is_idle(int state) { return state == HEX_ANSI_IDLE || state == HEX_ANSI_ESC; }
bool is_control(unsigned char c) { return c < 0x20 || c >= 0x7F; }

// A control byte, or a byte 0x80-0xFF, in any state. As on a VT100, one inside a sequence is carried
// out without ending it (a line feed is shown where it came), CAN and SUB abandon the sequence, and
// a string ends at BEL. Returns the next state; `shown` gets the byte when it is text.
int control(DialogHost& hwnd, int state, unsigned char c, char* shown, int& count) {
  if (state == HEX_ANSI_STRING) return c == BEL || c == CAN || c == SUB ? HEX_ANSI_IDLE : state;
  if (c == CAN || c == SUB) return HEX_ANSI_IDLE;
  if (c == 0x7F && is_idle(state)) shown[count++] = static_cast<char>(c);  // DEL is text when idle
  if (c == LF || c == HT) shown[count++] = static_cast<char>(c);
  if (c == BS) move_by_key(hwnd, platform::VK_LEFT);
  return state;
}

}  // namespace

int hex_parse_ansi(DialogHost& hwnd, const char* ansi, char* plaintext, int length) {
  HEX_OBJ_TYP& obj = hex_obj[hex_send_port == 1 ? 1 : 0];
  Parser p{obj.ansi_state, obj.ansi_code, obj.ansi_data, obj.ansi_data0, obj.ansi_y, obj.ansi_x};
  const auto* in = reinterpret_cast<const unsigned char*>(ansi);
  int shown = 0;
  for (int i = 0; i < length; ++i) {
    const unsigned char c = in[i];
    if (c == ESC)
      p.state = HEX_ANSI_CODE;  // ESC restarts a sequence in any state (and ends a string, as ST)
    else if (is_control(c))
      p.state = control(hwnd, p.state, c, plaintext, shown);
    else if (is_idle(p.state))
      plaintext[shown++] = static_cast<char>(c);
    else
      p.state = step(hwnd, p, c);
  }
  plaintext[shown] = '\0';
  obj.ansi_state = p.state;
  obj.ansi_code = p.code;
  obj.ansi_data = p.data;
  obj.ansi_data0 = p.data0;
  obj.ansi_y = p.y;
  obj.ansi_x = p.x;
  return shown;
}
