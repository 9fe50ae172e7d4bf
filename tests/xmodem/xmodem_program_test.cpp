// quillport-xmodem and xmodem-noise-run on the command line: what they do with options they cannot use.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tools/linesim/line_sim.h"

namespace {

TEST(XmodemProgram, ANumberItCannotReadGetsTheUsageNotAnAbort) {
  const std::vector<std::vector<std::string>> bad = {
      {"send", "--baud", "fast", "/dev/null", "file"},
      {"send", "--baud", "9600x", "/dev/null", "file"},
      {"receive", "--debug", "99999999999", "/dev/null", "file"},
      {"receive", "--debug", "", "/dev/null", "file"},
  };
  for (const std::vector<std::string>& args : bad) {
    std::vector<std::string> argv = {QUILLPORT_XMODEM_PROGRAM};
    argv.insert(argv.end(), args.begin(), args.end());
    linesim::Program program(argv, ".", "/dev/null");
    EXPECT_EQ(program.wait(10000), 2) << args[1] << " " << args[2];
  }
}

TEST(XmodemProgram, TheNoisyLineRunRefusesANumberItCannotRead) {
  for (const char* option : {"--transfers", "--size", "--flip", "--seed"}) {
    linesim::Program program({QUILLPORT_XMODEM_NOISE_PROGRAM, option, "many"}, ".", "/dev/null");
    EXPECT_EQ(program.wait(10000), 2) << option;
  }
}

}  // namespace
