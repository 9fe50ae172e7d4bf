// The trace display as the program sees it: the text model plus the keyboard. Before acting on a
// key-down or a character the display offers it to its owner (the dialog's keyboard filter), which
// may rewrite the code; the display then acts on the rewritten code, and a code of 0 does nothing.
#pragma once

#include <functional>

#include "platform/text_model.h"

namespace platform {

// Virtual-key codes the display and the keyboard filter know.
inline constexpr int VK_BACK = 0x08;
inline constexpr int VK_TAB = 0x09;
inline constexpr int VK_RETURN = 0x0D;
inline constexpr int VK_ESCAPE = 0x1B;
inline constexpr int VK_PRIOR = 0x21;  // Page Up
inline constexpr int VK_NEXT = 0x22;   // Page Down
inline constexpr int VK_END = 0x23;
inline constexpr int VK_HOME = 0x24;
inline constexpr int VK_LEFT = 0x25;
inline constexpr int VK_UP = 0x26;
inline constexpr int VK_RIGHT = 0x27;
inline constexpr int VK_DOWN = 0x28;
inline constexpr int VK_DELETE = 0x2E;
inline constexpr int VK_KEY_A = 0x41;
inline constexpr int VK_PROCESSKEY = 0xE5;  // the injected key

enum class KeyMessage { KeyDown, Char };

// The record the display hands its owner for every keyboard event; the owner may rewrite `code`.
struct MsgFilter {
  KeyMessage msg = KeyMessage::KeyDown;
  int code = 0;
};

struct KeyModifiers {
  bool shift = false;
  bool control = false;
};

class DisplaySurface : public TextModel {
 public:
  using KeyListener = std::function<void(MsgFilter&)>;

  explicit DisplaySurface(int max_rows = kDefaultScrollbackRows) : TextModel(max_rows) {}

  // Who hears key events (the host connects its dialog here) and whether they are reported.
  void set_key_listener(KeyListener listener) { listener_ = std::move(listener); }
  void set_key_events(bool enabled) { key_events_ = enabled; }
  bool key_events() const { return key_events_; }

  void set_clipboard(Clipboard* clipboard) { clipboard_ = clipboard; }

  // A key-down and a character from the keyboard: reported, then acted on with the final code.
  void key_down(int vk, KeyModifiers modifiers = {});
  void character(int ch);
  // A key-down sent to the display by the program (code 229 is the back door of the keyboard
  // filter): reported and acted on like a typed key, before this returns.
  void inject_key(int vk) { key_down(vk); }

 private:
  int offer(KeyMessage msg, int code);
  void act_on_key(int vk, KeyModifiers modifiers);
  void act_on_char(int ch);

  KeyListener listener_;
  bool key_events_ = false;
  Clipboard* clipboard_ = nullptr;
};

}  // namespace platform
