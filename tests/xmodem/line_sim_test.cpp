// The line simulator's program runner, where a failure must not cost the test process anything.
#include <filesystem>
#include <stdexcept>

#include <gtest/gtest.h>

#include "tools/linesim/line_sim.h"

namespace {

std::size_t open_descriptors() {
  std::size_t count = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) ++count;
  return count;
}

TEST(LineSimProgram, AProgramThatCannotStartLeavesNoDescriptorOpen) {
  const std::size_t before = open_descriptors();
  for (int i = 0; i < 3; ++i) {
    EXPECT_THROW(linesim::Program({"/nonexistent/peer"}, ".", ""), std::runtime_error);
    EXPECT_THROW(linesim::Program({"true"}, "/nonexistent-folder", ""), std::runtime_error);
  }
  EXPECT_EQ(open_descriptors(), before);
}

}  // namespace
