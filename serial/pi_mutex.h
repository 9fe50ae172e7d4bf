// A mutex with priority inheritance, for locks a port's reader shares with ordinary threads.
//
// A reader runs at a real-time priority where the system allows it (read_ahead.h); a lock it needs
// may be held by the UI thread, which a busy machine can take off the CPU for milliseconds while it
// holds it, and the reader's next stamp would be that late. With priority inheritance the holder
// runs at the waiter's priority until it lets go. Use with std::unique_lock / std::lock_guard, and
// std::condition_variable_any for waits.
#pragma once

#include <pthread.h>

namespace serial {

class PiMutex {
 public:
  PiMutex() {
    pthread_mutexattr_t attributes;
    pthread_mutexattr_init(&attributes);
    // Where the system has no priority inheritance, the setting is refused and a plain mutex it is.
    pthread_mutexattr_setprotocol(&attributes, PTHREAD_PRIO_INHERIT);
    pthread_mutex_init(&mutex_, &attributes);
    pthread_mutexattr_destroy(&attributes);
  }
  ~PiMutex() { pthread_mutex_destroy(&mutex_); }
  PiMutex(const PiMutex&) = delete;
  PiMutex& operator=(const PiMutex&) = delete;

  void lock() { pthread_mutex_lock(&mutex_); }
  bool try_lock() { return pthread_mutex_trylock(&mutex_) == 0; }
  void unlock() { pthread_mutex_unlock(&mutex_); }

 private:
  pthread_mutex_t mutex_;
};

}  // namespace serial
