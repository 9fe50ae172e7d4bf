#include "platform/headless_host.h"

#include <algorithm>
#include <filesystem>
#include <stdexcept>
#include <thread>

namespace platform {

HeadlessHost::HeadlessHost(const DialogTemplate& dialog, DialogProc procedure, int scrollback_rows)
    : dialog_(dialog),
      screen_(scrollback_rows),
      dispatcher_(*this, procedure, {nullptr, [this] { timers_.clear(); }}),
      installation_(*this) {
  for (const ControlTemplate& layout : dialog_.controls) {
    if (layout.id < 0) continue;
    Control& added = controls_[layout.id];
    added.layout = &layout;
    added.text = std::string(layout.caption);
  }
  screen_.set_key_listener([this](MsgFilter& filter) {
    for (const ControlTemplate& layout : dialog_.controls)
      if (layout.kind == ControlKind::Display)
        dispatcher_.send({MessageKind::Notify, layout.id, Notification::MsgFilter, &filter});
  });
  terminal_.set_input_listener([this](const TerminalInput& input) {
    for (const ControlTemplate& layout : dialog_.controls)
      if (layout.kind == ControlKind::Display)
        dispatcher_.send({MessageKind::Notify, layout.id, Notification::TerminalInput, nullptr, &input});
  });
}

HeadlessHost::~HeadlessHost() = default;

HeadlessHost::Control& HeadlessHost::control(int id) {
  const auto found = controls_.find(id);
  if (found == controls_.end())
    throw std::out_of_range("no control with id " + std::to_string(id));
  return found->second;
}

const HeadlessHost::Control& HeadlessHost::control(int id) const {
  return const_cast<HeadlessHost*>(this)->control(id);
}

int HeadlessHost::add_entry(int id, std::string_view text) {
  Control& selector = control(id);
  selector.entries.emplace_back(text);
  return static_cast<int>(selector.entries.size()) - 1;
}

void HeadlessHost::remove_entry(int id, int index) {
  Control& selector = control(id);
  if (index < 0 || index >= static_cast<int>(selector.entries.size())) return;
  selector.entries.erase(selector.entries.begin() + index);
  if (selector.selected == index)
    selector.selected = -1;
  else if (selector.selected > index)
    --selector.selected;
}

void HeadlessHost::clear_entries(int id) {
  Control& selector = control(id);
  selector.entries.clear();
  selector.selected = -1;
  selector.text.clear();
}

int HeadlessHost::entry_count(int id) const {
  return static_cast<int>(control(id).entries.size());
}

std::string HeadlessHost::entry_text(int id, int index) const {
  const Control& selector = control(id);
  if (index < 0 || index >= static_cast<int>(selector.entries.size())) return {};
  return selector.entries[static_cast<std::size_t>(index)];
}

int HeadlessHost::selected_entry(int id) const { return control(id).selected; }

void HeadlessHost::select_entry(int id, int index) {
  Control& selector = control(id);
  if (index < 0 || index >= static_cast<int>(selector.entries.size())) {
    selector.selected = -1;
    return;
  }
  selector.selected = index;
  selector.text = selector.entries[static_cast<std::size_t>(index)];
}

void HeadlessHost::set_entry_text(int id, int index, std::string_view text) {
  Control& selector = control(id);
  if (index < 0 || index >= static_cast<int>(selector.entries.size())) return;
  selector.entries[static_cast<std::size_t>(index)] = std::string(text);
  if (selector.selected == index) selector.text = std::string(text);
}

void HeadlessHost::set_enabled(int id, bool enabled) { control(id).enabled = enabled; }

bool HeadlessHost::enabled(int id) const { return control(id).enabled; }

void HeadlessHost::set_tooltip(int id, std::string_view text) { control(id).tooltip = std::string(text); }

std::string HeadlessHost::tooltip(int id) const { return control(id).tooltip; }

void HeadlessHost::set_text(int id, std::string_view text) {
  if (control(id).layout->kind == ControlKind::Display) {
    screen_.set_text(text);
    return;
  }
  control(id).text = std::string(text);
}

std::string HeadlessHost::text(int id) const {
  if (control(id).layout->kind == ControlKind::Display)
    return screen_.text(0, screen_.text_length());
  return control(id).text;
}

void HeadlessHost::set_check(int id, Check state) { control(id).state = state; }

Check HeadlessHost::check(int id) const { return control(id).state; }

void HeadlessHost::set_focus(int id) {
  control(id);
  focus_ = id;
}

unsigned HeadlessHost::start_timer(int id, unsigned period_ms) {
  if (refuse_timers_ || id <= 0 || ended()) return 0;
  timers_[id] = {period_ms, std::chrono::steady_clock::now() + std::chrono::milliseconds(period_ms)};
  return static_cast<unsigned>(id);
}

bool HeadlessHost::stop_timer(int id) { return timers_.erase(id) != 0; }

unsigned HeadlessHost::timer_period(int id) const {
  const auto found = timers_.find(id);
  return found == timers_.end() ? 0 : found->second.period_ms;
}

void HeadlessHost::end_dialog(int result) {
  if (ended()) return;
  end_result_ = result;
  dispatcher_.end();
}

void HeadlessHost::message_box(std::string_view text, std::string_view caption) {
  boxes_.push_back({std::string(text), std::string(caption)});
}

std::optional<std::string> HeadlessHost::open_file_prompt(const FilePrompt& prompt) {
  prompt_titles_.emplace_back(prompt.title);
  for (;;) {
    if (file_answers_.empty()) return std::nullopt;
    FileAnswer answer = std::move(file_answers_.front());
    file_answers_.pop_front();
    if (answer.open_for.count() > 0) wait_in_modal(answer.open_for);
    std::error_code error;
    if (!answer.path || !prompt.confirm_replace || !std::filesystem::is_regular_file(*answer.path, error))
      return answer.path;
    replace_questions_.push_back(*answer.path);
    const bool replace = !replace_answers_.empty() && replace_answers_.front();
    if (!replace_answers_.empty()) replace_answers_.pop_front();
    if (replace) return answer.path;
    // No: the prompt again, for another name.
  }
}

void HeadlessHost::queue_file_answer(std::optional<std::string> answer, std::chrono::milliseconds open_for) {
  file_answers_.push_back({std::move(answer), open_for});
}

void HeadlessHost::wait_in_modal(std::chrono::milliseconds duration) {
  const Dispatcher::Modal waiting(dispatcher_);
  run_clock(std::chrono::steady_clock::now() + duration, nullptr);
}

void HeadlessHost::run_for(std::chrono::milliseconds duration) {
  run_clock(std::chrono::steady_clock::now() + duration, nullptr);
}

bool HeadlessHost::run_clock(std::chrono::steady_clock::time_point deadline,
                             const std::function<bool()>& done) {
  using Clock = std::chrono::steady_clock;
  // A wait is cut into short sleeps, so that `done` is seen soon after it holds.
  constexpr auto kLongestSleep = std::chrono::milliseconds(10);
  for (;;) {
    if (done && done()) return true;
    if (ended()) return done ? done() : true;
    const Clock::time_point now = Clock::now();
    const auto next = std::min_element(timers_.begin(), timers_.end(), [](const auto& a, const auto& b) {
      return a.second.due < b.second.due;
    });
    // A timer that fell due within the time still ticks when the thread woke late, as a loaded
    // machine makes it.
    const bool tick_due = next != timers_.end() && next->second.due <= std::min(now, deadline);
    if (!tick_due && now >= deadline) return done ? done() : true;
    if (!tick_due) {
      Clock::time_point wake = std::min(deadline, now + kLongestSleep);
      if (next != timers_.end()) wake = std::min(wake, next->second.due);
      std::this_thread::sleep_until(wake);
      continue;
    }
    // The next tick is due a period from now: a tick that came late does not bring others early.
    const int id = next->first;
    next->second.due = now + std::chrono::milliseconds(std::max(next->second.period_ms, 1u));
    dispatcher_.tick(id);
  }
}

int HeadlessHost::init() { return dispatcher_.send({MessageKind::InitDialog}); }

int HeadlessHost::click(int id) {
  Control& button = control(id);
  if (!button.enabled) return 0;
  switch (button.layout->kind) {
    case ControlKind::PushRadio:
      for (auto& [other_id, other] : controls_)
        if (other.layout->kind == ControlKind::PushRadio && button.layout->group != 0 &&
            other.layout->group == button.layout->group)
          other.state = Check::Unchecked;
      button.state = Check::Checked;
      break;
    case ControlKind::PushCheck:
      button.state = button.state == Check::Checked ? Check::Unchecked : Check::Checked;
      break;
    case ControlKind::ThreeState:
      button.state = button.state == Check::Unchecked ? Check::Checked
                     : button.state == Check::Checked ? Check::Indeterminate
                                                      : Check::Unchecked;
      break;
    default:
      break;
  }
  return command(id, Notification::Clicked);
}

int HeadlessHost::choose(int id, int index) {
  if (!control(id).enabled) return 0;
  select_entry(id, index);
  return command(id, Notification::SelChange);
}

int HeadlessHost::leave(int id) {
  control(id);
  if (focus_ == id) focus_ = 0;
  return command(id, Notification::KillFocus);
}

int HeadlessHost::command(int id, Notification code) {
  return dispatcher_.post({MessageKind::Command, id, code, nullptr});
}

int HeadlessHost::close() { return dispatcher_.post({MessageKind::Close}); }

bool HeadlessHost::fire_timer(int id) { return timer_running(id) && dispatcher_.tick(id); }

}  // namespace platform
