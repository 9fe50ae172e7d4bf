#include "platform/display_surface.h"

namespace platform {

int DisplaySurface::offer(KeyMessage msg, int code) {
  if (!key_events_ || !listener_) return code;
  MsgFilter filter{msg, code};
  listener_(filter);
  return filter.code;
}

void DisplaySurface::key_down(int vk, KeyModifiers modifiers) {
  const int code = offer(KeyMessage::KeyDown, vk);
  if (code != 0) act_on_key(code, modifiers);
}

void DisplaySurface::character(int ch) {
  const int code = offer(KeyMessage::Char, ch);
  if (code != 0) act_on_char(code);
}

void DisplaySurface::act_on_key(int vk, KeyModifiers modifiers) {
  const bool extend = modifiers.shift;
  switch (vk) {
    case VK_BACK:
      backspace();
      break;
    case VK_DELETE:
      if (selection().cpMin == selection().cpMax) move_right(true);
      clear_selection();
      break;
    case VK_LEFT:
      move_left(extend);
      break;
    case VK_RIGHT:
      move_right(extend);
      break;
    case VK_UP:
      move_up(extend);
      break;
    case VK_DOWN:
      move_down(extend);
      break;
    case VK_HOME:
      if (modifiers.control)
        place_caret(0, 0, extend);
      else
        move_home(extend);
      break;
    case VK_END:
      if (modifiers.control)
        place_caret(line_count() - 1, kDisplayColumns, extend);
      else
        move_end(extend);
      break;
    case VK_PRIOR:
      page_up(extend);
      break;
    case VK_NEXT:
      page_down(extend);
      break;
    case VK_KEY_A:
      if (modifiers.control) select_all();
      break;
    default:
      break;
  }
}

void DisplaySurface::act_on_char(int ch) {
  // Ctrl+C, Ctrl+V and Ctrl+X are copy, paste and cut of a selection; without one they are a
  // terminal's control characters, which the display does not show.
  const bool clipboard_ready = clipboard_ != nullptr && selection().cpMin != selection().cpMax;
  switch (ch) {
    case 0x03:  // Ctrl+C
      if (clipboard_ready) copy(*clipboard_);
      return;
    case 0x16:  // Ctrl+V
      if (clipboard_ready) paste(*clipboard_);
      return;
    case 0x18:  // Ctrl+X
      if (clipboard_ready) cut(*clipboard_);
      return;
    case '\r':
    case '\n':
      type_char('\n');
      return;
    case '\t':
      type_char('\t');
      return;
    default:
      break;
  }
  // Backspace acts on its key-down; other control codes and anything beyond one byte are not text.
  if (ch < 0x20 || ch == 0x7F || ch > 0xFF) return;
  type_char(static_cast<char>(ch));
}

}  // namespace platform
