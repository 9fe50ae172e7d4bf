#include "platform/qt/key_translation.h"

#include "platform/display_surface.h"

namespace platform {
namespace {

// Keys with a code of their own, whatever the modifiers.
KeyStroke named_key(int key) {
  switch (key) {
    case Qt::Key_Backspace: return {VK_BACK, 0x08};
    case Qt::Key_Tab:
    case Qt::Key_Backtab: return {VK_TAB, 0x09};
    case Qt::Key_Return:
    case Qt::Key_Enter: return {VK_RETURN, 0x0D};
    case Qt::Key_Escape: return {VK_ESCAPE, -1};  // only a key: the filter answers its key-down
    case Qt::Key_PageUp: return {VK_PRIOR, -1};
    case Qt::Key_PageDown: return {VK_NEXT, -1};
    case Qt::Key_End: return {VK_END, -1};
    case Qt::Key_Home: return {VK_HOME, -1};
    case Qt::Key_Left: return {VK_LEFT, -1};
    case Qt::Key_Up: return {VK_UP, -1};
    case Qt::Key_Right: return {VK_RIGHT, -1};
    case Qt::Key_Down: return {VK_DOWN, -1};
    case Qt::Key_Delete: return {VK_DELETE, -1};
    case Qt::Key_Space: return {0x20, ' '};
    default: return {};
  }
}

// The control characters beyond Ctrl+A..Z, as terminals type them.
KeyStroke control_punctuation(int key) {
  switch (key) {
    case Qt::Key_At: return {0, 0x00};
    case Qt::Key_BracketLeft: return {0, 0x1B};
    case Qt::Key_Backslash: return {0, 0x1C};
    case Qt::Key_BracketRight: return {0, 0x1D};
    case Qt::Key_AsciiCircum: return {0, 0x1E};
    case Qt::Key_Underscore: return {0, 0x1F};
    default: return {};
  }
}

}  // namespace

KeyStroke translate_key(int key, bool control, const QString& text) {
  if (const KeyStroke named = named_key(key); named != KeyStroke{}) return named;
  if (control) {
    if (const KeyStroke punctuation = control_punctuation(key); punctuation != KeyStroke{}) return punctuation;
  }
  KeyStroke stroke;
  if (key >= Qt::Key_A && key <= Qt::Key_Z) {
    stroke.vk = VK_KEY_A + (key - Qt::Key_A);
    // The text of a Ctrl+letter event differs between platforms (and is a plain letter or empty
    // under test input), so the control code comes from the key itself.
    if (control) stroke.ch = key - Qt::Key_A + 1;
  }
  if (control) return stroke;  // no other Ctrl combination types a character
  // Only one byte of Latin-1 is a character of the display; anything beyond it is not typed.
  for (const QChar c : text) {
    const char16_t unit = c.unicode();
    if (unit >= 0x20 && unit <= 0xFF && unit != 0x7F) {
      stroke.ch = unit;
      break;
    }
  }
  return stroke;
}

}  // namespace platform
