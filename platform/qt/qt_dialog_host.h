// The dialog on the desktop: one Qt window built from a dialog template, growing as the template
// allows, whose controls, timers, message boxes, file prompt and place on the desktop are what the
// program asks of its dialog host. Every event reaches the dialog procedure on the UI thread by the
// rules of platform/dispatcher.h: one message at a time, except timer ticks while a handler waits
// in a box or prompt.
#pragma once

#include <QSize>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/desktop.h"
#include "platform/dialog_host.h"
#include "platform/dialog_template.h"
#include "platform/dispatcher.h"
#include "platform/qt/dialog_widgets.h"

class QEventLoop;
class QSocketNotifier;
class QTimer;
class QWidget;

namespace platform {

class ScreenWidget;
class ShutdownSignals;
class TerminalWidget;

class QtDialogHost final : public DialogHost, public Desktop {
 public:
  using MessageBoxHandler = std::function<void(std::string_view text, std::string_view caption)>;
  using FilePromptHandler = std::function<std::optional<std::string>(const FilePrompt& prompt)>;

  // Needs a QApplication. The window is built by create() or exec().
  QtDialogHost(const DialogTemplate& dialog, DialogProc procedure,
               int scrollback_rows = kDefaultScrollbackRows);
  ~QtDialogHost() override;
  QtDialogHost(const QtDialogHost&) = delete;
  QtDialogHost& operator=(const QtDialogHost&) = delete;

  // Builds the window, installs it as the desktop, initialises the dialog and shows it; then runs
  // until the procedure ends the dialog, and returns the result it gave.
  int exec();
  // The first half of exec(): build, install, initialise, show. Does nothing a second time.
  void create();
  // From now on SIGINT, SIGTERM and SIGHUP end the program as Exit does: open boxes and prompts
  // are dismissed (and no new one is shown), then the dialog gets the Exit command (IDCANCEL).
  // The signals are watched by the event loop; nothing is done inside a signal handler.
  void exit_on_signals();

  // ---- DialogHost ----
  int add_entry(int id, std::string_view text) override;
  void remove_entry(int id, int index) override;
  void clear_entries(int id) override;
  int entry_count(int id) const override;
  std::string entry_text(int id, int index) const override;
  int selected_entry(int id) const override;
  void select_entry(int id, int index) override;
  void set_entry_text(int id, int index, std::string_view text) override;
  void set_text(int id, std::string_view text) override;
  std::string text(int id) const override;
  void set_check(int id, Check state) override;
  Check check(int id) const override;
  void set_enabled(int id, bool enabled) override;
  void set_tooltip(int id, std::string_view text) override;
  void set_focus(int id) override;
  int focus() const override;
  unsigned start_timer(int id, unsigned period_ms) override;
  bool stop_timer(int id) override;
  DisplaySurface& screen() override { return surface_; }
  TerminalSurface& terminal() override { return terminal_; }
  std::optional<WindowPlacement> placement() const override;
  void place(const WindowPlacement& placement) override;
  void end_dialog(int result) override;

  // ---- Desktop ----
  void message_box(std::string_view text, std::string_view caption) override;
  std::optional<std::string> open_file_prompt(const FilePrompt& prompt) override;

  // ---- For tests and tools ----
  // When set, these answer in place of the modal box and prompt; ticks reach the procedure while
  // they run an event loop, as while a box is open.
  void set_message_box_handler(MessageBoxHandler handler) { message_box_handler_ = std::move(handler); }
  void set_file_prompt_handler(FilePromptHandler handler) { file_prompt_handler_ = std::move(handler); }
  // A command as the platform issues it (IDOK, IDCANCEL), delivered like a user's.
  void dispatch_command(int id, Notification code = Notification::Clicked);
  QDialog* window() const;
  QWidget* widget(int id) const;  // nullptr for an unknown id
  ScreenWidget* screen_widget() const { return screen_widget_; }
  TerminalWidget* terminal_widget() const { return terminal_widget_; }
  QSize base_units() const { return base_units_; }  // pixels of 4 by 8 dialog units
  int timer_interval(int id) const;                 // 0 when the timer is not running
  bool ended() const { return dispatcher_.ended(); }

 private:
  void build();
  template <class W>
  W* control_as(int id) const;
  const ControlTemplate* layout_of(int id) const;
  int display_id() const;

  void post(const DialogMessage& message) { dispatcher_.post(message); }
  void refresh_display();
  // The terminal takes the display's place, or gives it back; the focus goes with it.
  void show_terminal(bool shown);
  // The widget that stands for control `id` now: the terminal while it is shown in the display's place.
  QWidget* shown_widget(int id) const;
  void finish();
  void clicked(int id);
  void signalled();
  // Runs a box or prompt (or the test's handler in its place) as a modal wait of the dispatcher.
  template <class Show>
  auto modal(Show show);
  std::optional<std::string> ask_for_file(const FilePrompt& prompt);

  const DialogTemplate& dialog_;
  DisplaySurface surface_;
  TerminalSurface terminal_;
  Dispatcher dispatcher_;
  std::unique_ptr<DialogWindow> window_;  // after the surfaces: the display widgets refer to them
  ScreenWidget* screen_widget_ = nullptr;
  TerminalWidget* terminal_widget_ = nullptr;
  std::map<int, DialogControl> controls_;
  std::map<int, std::unique_ptr<QTimer>> timers_;
  std::optional<DesktopInstallation> installation_;
  QEventLoop* loop_ = nullptr;  // exec()'s loop while it runs
  QSize base_units_;
  MessageBoxHandler message_box_handler_;
  FilePromptHandler file_prompt_handler_;
  std::vector<QDialog*> open_boxes_;  // boxes and prompts shown now, innermost last
  std::unique_ptr<ShutdownSignals> signals_;
  std::unique_ptr<QSocketNotifier> signal_watch_;
  bool exiting_ = false;  // a signal asked the program to end
  bool created_ = false;
  int result_ = 0;
};

}  // namespace platform
