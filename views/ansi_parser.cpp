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

// Row and column numbers beyond any screen are held here, so long digit runs cannot overflow.
constexpr int kMaxNumber = 999;

bool is_digit(unsigned char c) { return c >= '0' && c <= '9'; }
bool is_letter(unsigned char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool is_shown(unsigned char c) { return (c >= 0x20 && c <= 0x7F) || c == LF || c == HT; }
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

// One byte other than ESC and other than text in the IDLE state; returns the next state.
int step(DialogHost& hwnd, Parser& p, unsigned char c) {
  switch (p.state) {
    case HEX_ANSI_IDLE:
    case HEX_ANSI_ESC:
      // Text was taken by the caller; what is left here is a control byte or 0x80-0xFF, dropped.
      if (c == BS) move_by_key(hwnd, platform::VK_LEFT);
      return HEX_ANSI_IDLE;
    case HEX_ANSI_CODE:
      p.code = c;
      return HEX_ANSI_DATA;
    case HEX_ANSI_DATA:
    case HEX_ANSI_Y1:
      p.data = c;
      if (is_digit(c)) {
        p.y = c - '0';
        return HEX_ANSI_Y0;
      }
      carry_out(kWithoutParameter, hwnd, p.code, c);
      return HEX_ANSI_IDLE;
    case HEX_ANSI_Y0:
      p.data0 = c;
      if (is_digit(c)) {
        p.y = add_digit(p.y, c);
        return HEX_ANSI_SEMI;
      }
      // A row of one digit, as ANSI hosts send rows 1 to 9.
      if (c == SEMI) return HEX_ANSI_X1;
      carry_out(kWithDigit, hwnd, p.data, c);
      return HEX_ANSI_IDLE;
    case HEX_ANSI_SEMI:
      p.data = c;
      if (is_digit(c)) {
        p.y = add_digit(p.y, c);
        return HEX_ANSI_SEMI;
      }
      return c == SEMI ? HEX_ANSI_X1 : HEX_ANSI_IDLE;
    case HEX_ANSI_X1:
      p.data = c;
      if (is_digit(c)) {
        p.x = c - '0';
        return HEX_ANSI_X0;
      }
      return HEX_ANSI_IDLE;
    case HEX_ANSI_X0:
      p.data0 = c;
      if (is_digit(c)) {
        p.x = add_digit(p.x, c);
        return HEX_ANSI_X0;
      }
      if (c == 'H' || c == 'f') {
        // Rows and columns are counted from 1 on the line; 0 means 1, as on any ANSI terminal.
        hex_goto_line_column(hwnd, std::max(p.y, 1) - 1, std::max(p.x, 1) - 1);
        return HEX_ANSI_IDLE;
      }
      return is_letter(c) ? HEX_ANSI_IDLE : HEX_ANSI_LAST;
    default:  // HEX_ANSI_LAST, or a state no transition sets: the rest of a sequence, up to a letter
      p.data = c;
      return is_letter(c) ? HEX_ANSI_IDLE : p.state;
  }
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
      p.state = HEX_ANSI_CODE;  // ESC restarts a sequence in any state
    else if ((p.state == HEX_ANSI_IDLE || p.state == HEX_ANSI_ESC) && is_shown(c))
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
