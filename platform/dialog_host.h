// What the program needs of the dialog manager: controls addressed by id, timers by id and period,
// the trace display, and the end of the dialog. Every event reaches the program through one dialog
// procedure on the one UI thread. The Qt window and the headless host used by tests both provide it.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/display_surface.h"
#include "platform/terminal_surface.h"

// Commands the dialog manager issues itself: its default action, and Escape or the Exit button.
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;

namespace platform {

enum class Check { Unchecked = 0, Checked = 1, Indeterminate = 2 };

// What a control reports with a command. A selector reports its selection changing, the focus
// coming and going, its list opening and closing, its field edited by the user, and Enter pressed
// in its field. The display reports a key (MsgFilter), and what is typed or pasted into the terminal
// screen shown in its place (TerminalInput).
enum class Notification {
  Clicked, SelChange, KillFocus, EditChange, MsgFilter, SetFocus, DropDown, CloseUp, Enter, TerminalInput
};

enum class MessageKind {
  InitDialog,  // once, before the dialog is shown
  Close,       // the close box or the system menu's Close
  Timer,       // id = the timer
  Command,     // id = the control (or IDOK/IDCANCEL), code = what happened
  Notify,      // id = the control, code = MsgFilter with `filter` set, or TerminalInput with `input`
};

struct DialogMessage {
  MessageKind kind = MessageKind::Command;
  int id = 0;
  Notification code = Notification::Clicked;
  MsgFilter* filter = nullptr;
  const TerminalInput* input = nullptr;
};

// Where the window is on the desktop and how large: its frame's top left corner (none: wherever
// the desktop puts it), the size inside the frame, and whether it fills the screen (maximised). For
// a maximised window the place and size are those it takes back when it is restored.
struct WindowPoint {
  int x = 0;
  int y = 0;
  bool operator==(const WindowPoint&) const = default;
};
struct WindowPlacement {
  std::optional<WindowPoint> position;
  int width = 0;
  int height = 0;
  bool maximized = false;
  bool operator==(const WindowPlacement&) const = default;
};

class DialogHost;

// Returns 1 when the message was handled, 0 to leave it to the dialog manager.
using DialogProc = int (*)(DialogHost& dialog, const DialogMessage& message);

class DialogHost {
 public:
  virtual ~DialogHost() = default;

  // Selectors (drop-down lists with an edit field): entries in the order added, never sorted.
  virtual int add_entry(int id, std::string_view text) = 0;  // returns the new entry's position
  virtual void remove_entry(int id, int index) = 0;
  virtual void clear_entries(int id) = 0;
  virtual int entry_count(int id) const = 0;
  virtual std::string entry_text(int id, int index) const = 0;
  // Position of the selected entry, -1 when none.
  virtual int selected_entry(int id) const = 0;
  // Selects an entry (-1: none) and shows its text in the edit field; reports nothing.
  virtual void select_entry(int id, int index) = 0;
  // Changes the text of an entry in place (its position and the selection stay).
  virtual void set_entry_text(int id, int index, std::string_view text) = 0;

  // The text of a control: a selector's edit field, a static text, a button's caption.
  virtual void set_text(int id, std::string_view text) = 0;
  virtual std::string text(int id) const = 0;

  // Check states of push-like check and radio buttons and of the three-state indicators.
  virtual void set_check(int id, Check state) = 0;
  virtual Check check(int id) const = 0;
  // Checks `checked` and unchecks every other button from `first` to `last`.
  void check_radio(int first, int last, int checked) {
    for (int button = first; button <= last; ++button)
      set_check(button, button == checked ? Check::Checked : Check::Unchecked);
  }

  // A disabled control is shown greyed and takes no input.
  virtual void set_enabled(int id, bool enabled) = 0;

  // A hint shown when the pointer rests on the control.
  virtual void set_tooltip(int id, std::string_view text) = 0;

  virtual void set_focus(int id) = 0;
  virtual int focus() const = 0;  // id of the control with the keyboard focus, 0 when none

  // Starts (or restarts) timer `id`; returns `id`, or 0 when the platform refused.
  virtual unsigned start_timer(int id, unsigned period_ms) = 0;
  // Stops timer `id`; false when it was not running.
  virtual bool stop_timer(int id) = 0;

  virtual DisplaySurface& screen() = 0;
  // The terminal screen, shown in the display's place while the Terminal view is chosen.
  virtual TerminalSurface& terminal() = 0;
  const TerminalSurface& terminal() const { return const_cast<DialogHost&>(*this).terminal(); }

  // The window's place and size; nothing for a host without a window on a desktop.
  virtual std::optional<WindowPlacement> placement() const { return std::nullopt; }
  // Puts the window there, no smaller than the dialog; a position on no screen is left to the
  // desktop. A host without a window ignores it.
  virtual void place(const WindowPlacement& placement) { (void)placement; }

  // Ends the dialog with `result` once the current message has been handled.
  virtual void end_dialog(int result) = 0;
};

}  // namespace platform
