#include "platform/dispatcher.h"

#include <algorithm>

namespace platform {

Dispatcher::Dispatcher(DialogHost& host, DialogProc procedure, Hooks hooks)
    : host_(host), procedure_(procedure), hooks_(std::move(hooks)) {}

int Dispatcher::post(const DialogMessage& message) {
  if (ended_) return 0;
  if (depth_ > 0) {
    pending_.push_back(message);
    return 0;
  }
  return deliver(message);
}

int Dispatcher::send(const DialogMessage& message) { return ended_ ? 0 : deliver(message); }

bool Dispatcher::tick(int id) {
  if (ended_ || !tick_may_run(id)) return false;
  deliver({MessageKind::Timer, id});
  return true;
}

bool Dispatcher::tick_may_run(int id) const {
  if (depth_ == 0) return true;
  const bool handler_waits_in_box = !modal_depths_.empty() && modal_depths_.back() == depth_;
  return handler_waits_in_box && std::find(ticking_.begin(), ticking_.end(), id) == ticking_.end();
}

void Dispatcher::end() {
  ended_ = true;
  finish_if_ended();
}

int Dispatcher::deliver(const DialogMessage& message) {
  if (procedure_ == nullptr || ended_) return 0;
  const bool timer = message.kind == MessageKind::Timer;
  // Undone however the procedure leaves (a test's procedure may throw).
  struct Level {
    Dispatcher& d;
    bool timer;
    Level(Dispatcher& dispatcher, bool is_timer, int id) : d(dispatcher), timer(is_timer) {
      ++d.depth_;
      if (timer) d.ticking_.push_back(id);
    }
    ~Level() {
      if (timer) d.ticking_.pop_back();
      --d.depth_;
    }
    Level(const Level&) = delete;
    Level& operator=(const Level&) = delete;
  };
  int handled = 0;
  {
    const Level level(*this, timer, message.id);
    handled = procedure_(host_, message);
  }
  if (hooks_.settled) hooks_.settled();
  if (depth_ == 0) drain();
  return handled;
}

void Dispatcher::drain() {
  if (draining_) return;
  draining_ = true;
  while (!pending_.empty() && !ended_) {
    const DialogMessage next = pending_.front();
    pending_.pop_front();
    deliver(next);
  }
  draining_ = false;
  finish_if_ended();
}

void Dispatcher::finish_if_ended() {
  if (!ended_ || depth_ > 0 || finished_) return;
  finished_ = true;
  pending_.clear();
  if (hooks_.finished) hooks_.finished();
}

}  // namespace platform
