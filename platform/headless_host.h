// A dialog host without a window, for tests and benchmarks: it keeps every control's state, records
// message boxes, answers file prompts with what a test queued, and lets a test deliver the events a
// user and the clock would (clicks, selections, keys, timer ticks) through the dialog procedure, by
// the same dispatch rules as the window. Its timers run in real time while a test lets the clock run
// (run_for), and while a box or prompt that a test holds open waits for its answer.
#pragma once

#include <chrono>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/desktop.h"
#include "platform/dialog_host.h"
#include "platform/dialog_template.h"
#include "platform/dispatcher.h"

namespace platform {

class HeadlessHost final : public DialogHost, public Desktop {
 public:
  struct MessageBoxRecord {
    std::string text;
    std::string caption;
  };

  // Controls come from `dialog`; an id not in it is a test fault and throws std::out_of_range.
  // With a procedure, every event goes through it; without one, events only change control state.
  explicit HeadlessHost(const DialogTemplate& dialog, DialogProc procedure = nullptr,
                        int scrollback_rows = kDefaultScrollbackRows);
  ~HeadlessHost() override;

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
  bool enabled(int id) const;
  void set_tooltip(int id, std::string_view text) override;
  std::string tooltip(int id) const;
  void set_focus(int id) override;
  int focus() const override { return focus_; }
  unsigned start_timer(int id, unsigned period_ms) override;
  bool stop_timer(int id) override;
  DisplaySurface& screen() override { return screen_; }
  TerminalSurface& terminal() override { return terminal_; }
  void end_dialog(int result) override;

  // ---- Desktop ----
  void message_box(std::string_view text, std::string_view caption) override;
  std::optional<std::string> open_file_prompt(const FilePrompt& prompt) override;

  // ---- What a test does ----
  // Sends the dialog its initialisation message.
  int init();
  // Clicks a button as the dialog manager would: radio buttons check themselves and uncheck their
  // group, check boxes toggle, three-state boxes step unchecked -> checked -> indeterminate.
  int click(int id);
  // Picks entry `index` of a selector and reports the selection change.
  int choose(int id, int index);
  // Moves the keyboard focus away from a control (reported as the focus lost).
  int leave(int id);
  // A command with any notification, as the dialog manager issues IDOK and IDCANCEL.
  int command(int id, Notification code = Notification::Clicked);
  // The close box.
  int close();
  // One tick of a running timer, by the dispatch rules; false when the timer is not running or the
  // rules dropped the tick.
  bool fire_timer(int id);
  // Lets the clock run for `duration`: every running timer ticks at its period, in real time.
  void run_for(std::chrono::milliseconds duration);
  // Lets the clock run until `done` holds (checked between ticks) or `limit` passes; the last value.
  template <class Condition>
  bool run_until(Condition done, std::chrono::milliseconds limit);
  bool timer_running(int id) const { return timers_.count(id) != 0; }
  unsigned timer_period(int id) const;
  // From now on start_timer refuses (returns 0) while `refuse` is true.
  void refuse_timers(bool refuse) { refuse_timers_ = refuse; }

  const std::vector<MessageBoxRecord>& message_boxes() const { return boxes_; }
  void clear_message_boxes() { boxes_.clear(); }
  // The answer to the next file prompt: a path, or nothing for Cancel, given once the prompt has
  // been open for `open_for` (the clock runs meanwhile). With none queued, prompts are cancelled.
  void queue_file_answer(std::optional<std::string> answer,
                         std::chrono::milliseconds open_for = std::chrono::milliseconds(0));
  const std::vector<std::string>& prompt_titles() const { return prompt_titles_; }
  // The answer to the next question whether to replace an existing file (asked by a prompt for a
  // file that will be written); with none queued, the answer is No.
  void queue_replace_answer(bool replace) { replace_answers_.push_back(replace); }
  // The paths that question was asked about.
  const std::vector<std::string>& replace_questions() const { return replace_questions_; }

  bool ended() const { return dispatcher_.ended(); }
  int end_result() const { return end_result_; }

  const DialogTemplate& dialog() const { return dialog_; }

 private:
  struct Control {
    const ControlTemplate* layout = nullptr;
    std::vector<std::string> entries;
    int selected = -1;
    std::string text;
    Check state = Check::Unchecked;
    std::string tooltip;
    bool enabled = true;
  };

  struct Timer {
    unsigned period_ms = 0;
    std::chrono::steady_clock::time_point due;
  };
  struct FileAnswer {
    std::optional<std::string> path;
    std::chrono::milliseconds open_for;
  };

  Control& control(int id);
  const Control& control(int id) const;
  // Runs due timers until `deadline`, or until `done` holds when one is given.
  bool run_clock(std::chrono::steady_clock::time_point deadline, const std::function<bool()>& done);
  // Keeps a box or prompt open for `duration`, the clock running.
  void wait_in_modal(std::chrono::milliseconds duration);

  const DialogTemplate& dialog_;
  std::map<int, Control> controls_;
  DisplaySurface screen_;
  TerminalSurface terminal_;
  Dispatcher dispatcher_;
  DesktopInstallation installation_;
  std::map<int, Timer> timers_;
  bool refuse_timers_ = false;
  int focus_ = 0;
  std::vector<MessageBoxRecord> boxes_;
  std::deque<FileAnswer> file_answers_;
  std::vector<std::string> prompt_titles_;
  std::deque<bool> replace_answers_;
  std::vector<std::string> replace_questions_;
  int end_result_ = 0;
};

template <class Condition>
bool HeadlessHost::run_until(Condition done, std::chrono::milliseconds limit) {
  return run_clock(std::chrono::steady_clock::now() + limit, std::function<bool()>(done));
}

}  // namespace platform
