#include "serial/deadline.h"

#include "serial/ser_platform.h"

namespace serial {

namespace {

class SteadyClock final : public Clock {
 public:
  std::uint32_t now_ms() override {
    return static_cast<std::uint32_t>(platform::monotonic_ms());
  }
};

}  // namespace

Clock& steady_clock() {
  static SteadyClock clock;
  return clock;
}

}  // namespace serial
