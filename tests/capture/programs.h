// Running Wireshark's programs from the capture tests, and a scratch folder they may use.
//
// tshark refuses WIRESHARK_EXTCAP_DIR (and warns at every start) when run as root, which CI is:
// as root, programs run as the ordinary user "nobody" through runuser, and the scratch folder and
// its files are theirs to read and write.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

namespace capturetest {

// A folder under /tmp for one test, open to "nobody"; removed with everything in it at the end.
class Scratch {
 public:
  Scratch();
  ~Scratch();
  Scratch(const Scratch&) = delete;
  Scratch& operator=(const Scratch&) = delete;
  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// True when this process runs as root, so programs run as "nobody".
bool running_as_root();
// Gives `path` to "nobody" when we are root (a pty's slave the extcap must open, a folder).
void give_to_ordinary_user(const std::string& path);

// Who a program runs as: "nobody" when we are root, or this process's user.
enum class As { OrdinaryUser, Us };

// A program started with its output in files; `env` entries ("NAME=value") are set for it.
class Program {
 public:
  Program(const std::vector<std::string>& argv, const std::vector<std::string>& env, const Scratch& scratch,
          As as = As::OrdinaryUser);
  ~Program();  // kills it if it still runs
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;

  // The exit status (0..255, 128 + signal), or -1 when it has not ended within `timeout`.
  int wait(std::chrono::milliseconds timeout);
  std::string out() const;
  std::string err() const;

 private:
  pid_t pid_ = -1;
  int status_ = -1;
  std::string out_path_;
  std::string err_path_;
};

// Runs a program to its end (at most a minute): its exit status, and its output in `out`.
int run(const std::vector<std::string>& argv, const std::vector<std::string>& env, const Scratch& scratch,
        std::string& out, As as = As::OrdinaryUser);

// True when a process other than this one has `device` open (read from /proc).
bool opened_elsewhere(const std::string& device);

std::string read_file(const std::string& path);
std::vector<std::string> split_lines(const std::string& text);
std::vector<std::string> split(const std::string& line, char separator);

}  // namespace capturetest
