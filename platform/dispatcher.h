// The one set of rules by which events reach the dialog procedure. The Qt window and the headless
// host both deliver every event through a Dispatcher, so tests run the rules the window runs.
//
// - One message is handled at a time. An event of the window or the user (a click, a selection, the
//   focus leaving a control, the close box) that arrives while a message is being handled waits in
//   a queue and is delivered, in order, once the outermost message is done.
// - A key the display reports is answered at once: the program's own injected key arrives while it
//   handles a message and must reach the keyboard filter before the injection returns.
// - A timer's tick runs when no message is being handled. While the innermost handler waits in a
//   modal box or prompt it opened (a Modal is alive), ticks run too, nested, so the receive pump
//   keeps reading while the user reads a box or names a file. A handler's own work is never
//   interrupted: a tick that comes while a handler runs and is not waiting in its box is dropped.
//   A tick of a timer whose handler is already running (it showed the box) is dropped too: a
//   handler is never entered again by its own timer. Timers are periodic; the next tick comes soon.
// - After end(), nothing more is delivered; the host is told to finish once no message is running.
#pragma once

#include <deque>
#include <functional>
#include <vector>

#include "platform/dialog_host.h"

namespace platform {

class Dispatcher {
 public:
  struct Hooks {
    std::function<void()> settled;   // after every message delivered (a window repaints)
    std::function<void()> finished;  // the dialog has ended and no message is running
  };

  Dispatcher(DialogHost& host, DialogProc procedure, Hooks hooks = {});
  Dispatcher(const Dispatcher&) = delete;
  Dispatcher& operator=(const Dispatcher&) = delete;

  // An event of the window or the user: the procedure's result when delivered now, 0 when queued
  // or dropped.
  int post(const DialogMessage& message);
  // A key reported by the display: delivered at once.
  int send(const DialogMessage& message);
  // A tick of timer `id`; true when it was delivered.
  bool tick(int id);

  // The dialog ends once the message being handled is done.
  void end();
  bool ended() const { return ended_; }
  bool handling() const { return depth_ > 0; }

  // Alive while a modal box or prompt is open: the message being handled waits in it.
  class Modal {
   public:
    explicit Modal(Dispatcher& dispatcher) : dispatcher_(dispatcher) {
      dispatcher_.modal_depths_.push_back(dispatcher_.depth_);
    }
    ~Modal() { dispatcher_.modal_depths_.pop_back(); }
    Modal(const Modal&) = delete;
    Modal& operator=(const Modal&) = delete;

   private:
    Dispatcher& dispatcher_;
  };

 private:
  int deliver(const DialogMessage& message);
  bool tick_may_run(int id) const;
  void drain();
  void finish_if_ended();

  DialogHost& host_;
  DialogProc procedure_;
  Hooks hooks_;
  std::deque<DialogMessage> pending_;
  std::vector<int> ticking_;  // timers whose handlers are running, outermost first
  std::vector<int> modal_depths_;  // for each open box or prompt, the depth of its message
  int depth_ = 0;                  // messages being handled, nested ticks included
  bool draining_ = false;
  bool ended_ = false;
  bool finished_ = false;
};

}  // namespace platform
