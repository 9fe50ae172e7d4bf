// The dialog on the desktop: one fixed-size Qt window built from a dialog template, whose controls,
// timers, message boxes and file prompt are what the program asks of its dialog host. Every event
// reaches the dialog procedure on the UI thread, one at a time.
#pragma once

#include <QSize>

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/desktop.h"
#include "platform/dialog_host.h"
#include "platform/dialog_template.h"

class QDialog;
class QEventLoop;
class QTimer;
class QWidget;

namespace platform {

class ScreenWidget;

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
  void end_dialog(int result) override;

  // ---- Desktop ----
  void message_box(std::string_view text, std::string_view caption) override;
  std::optional<std::string> open_file_prompt(const FilePrompt& prompt) override;

  // ---- For tests and tools ----
  // When set, these answer in place of the modal box and prompt.
  void set_message_box_handler(MessageBoxHandler handler) { message_box_handler_ = std::move(handler); }
  void set_file_prompt_handler(FilePromptHandler handler) { file_prompt_handler_ = std::move(handler); }
  // A command as the platform issues it (IDOK, IDCANCEL), delivered like a user's.
  void dispatch_command(int id, Notification code = Notification::Clicked);
  QDialog* window() const;
  QWidget* widget(int id) const;  // nullptr for an unknown id
  ScreenWidget* screen_widget() const { return screen_widget_; }
  QSize base_units() const { return base_units_; }  // pixels of 4 by 8 dialog units
  int timer_interval(int id) const;                 // 0 when the timer is not running
  bool ended() const { return ended_; }

 private:
  class Window;
  class Selector;
  class SelectorWatch;
  struct Control {
    const ControlTemplate* layout = nullptr;
    QWidget* widget = nullptr;
  };

  void build();
  QWidget* make_control(const ControlTemplate& layout);
  template <class W>
  W* control_as(int id) const;
  const ControlTemplate* layout_of(int id) const;
  int display_id() const;

  // Events from the window: delivered now, or after the message being handled.
  void post(const DialogMessage& message);
  int dispatch(const DialogMessage& message);
  void drain();
  void finish();
  void clicked(int id);
  void tick(int id);

  const DialogTemplate& dialog_;
  DialogProc procedure_;
  DisplaySurface surface_;
  std::unique_ptr<Window> window_;  // after surface_: the display widget refers to it
  ScreenWidget* screen_widget_ = nullptr;
  std::map<int, Control> controls_;
  std::map<int, std::unique_ptr<QTimer>> timers_;
  std::optional<DesktopInstallation> installation_;
  QEventLoop* loop_ = nullptr;  // exec()'s loop while it runs
  QSize base_units_;
  MessageBoxHandler message_box_handler_;
  FilePromptHandler file_prompt_handler_;
  std::deque<DialogMessage> pending_;
  int depth_ = 0;  // messages being handled, nested calls included
  bool created_ = false;
  bool ended_ = false;
  int result_ = 0;
};

}  // namespace platform
