// An event one thread raises to end another thread's wait at once: the wait polls its descriptor
// beside the port (SioWaitRx). Raising and testing are safe from any thread; raising twice is once.
#pragma once

namespace serial {

class WakeEvent {
 public:
  WakeEvent();  // fd() is -1 if the system refused a descriptor; raise() then does nothing
  ~WakeEvent();
  WakeEvent(const WakeEvent&) = delete;
  WakeEvent& operator=(const WakeEvent&) = delete;

  void raise();
  bool raised() const { return wait(0); }
  // Waits up to `ms` for the event to be raised (without a descriptor, just the time); true if it is.
  bool wait(int ms) const;
  void clear();
  int fd() const { return fd_; }

 private:
  int fd_;
};

}  // namespace serial
