// A real program run on a pseudo-terminal of a chosen size, as a terminal window runs it, with
// everything it writes recorded: the byte streams the terminal tests feed to the emulator and to
// tmux. The program gets TERM=xterm-256color, LANG=C.UTF-8 and a HOME of its own that holds no
// start-up files. The test plays the user: it waits for text to appear, types, and ends the run.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace terminal_test {

using namespace std::chrono_literals;

class PtyProgram {
 public:
  PtyProgram(const std::vector<std::string>& argv, int rows, int columns,
             const std::vector<std::string>& environment = {});
  ~PtyProgram();
  PtyProgram(const PtyProgram&) = delete;
  PtyProgram& operator=(const PtyProgram&) = delete;

  // Reads until `text` has come since the last wait or key (true), or `timeout` has passed.
  bool wait_for(std::string_view text, std::chrono::milliseconds timeout = 10s);
  // Reads until nothing more has come for `quiet` (at most `limit` in all).
  void settle(std::chrono::milliseconds quiet = 300ms, std::chrono::milliseconds limit = 5s);
  void type(std::string_view bytes);
  // Reads until the program has ended and closed the terminal; false when it has not within `timeout`.
  bool finish(std::chrono::milliseconds timeout = 10s);

  const std::string& output() const { return output_; }
  // The output up to the end of the text the last wait_for found.
  std::string output_until_found() const { return output_.substr(0, found_end_); }
  const std::filesystem::path& home() const { return home_; }

 private:
  bool read_some(std::chrono::milliseconds timeout);  // false when nothing came or the program ended

  std::filesystem::path home_;
  int master_ = -1;
  pid_t pid_ = -1;
  bool ended_ = false;
  std::string output_;
  std::size_t mark_ = 0;  // where the next wait_for starts looking
  std::size_t found_end_ = 0;
};

// What `argv` writes on a terminal of `rows` by `columns` until it ends (a minute at most), repeated
// to `bytes`: a benchmark's recorded stream. Empty when the program wrote nothing.
std::string recorded_stream(const std::vector<std::string>& argv, int rows, int columns, std::size_t bytes);

}  // namespace terminal_test
