// Where settings are kept between runs: texts under keys of the form "group/name"
// ("port-a/baud" -> "115200"). The desktop's store is a file (platform/qt/settings_file.h); tests
// keep them in memory. A store only holds texts: what they mean, and whether they can be used, is
// for the program to decide.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace platform {

using SettingsValues = std::map<std::string, std::string>;

struct SettingsReading {
  SettingsValues values;             // every value that could be read as a text
  std::vector<std::string> unread;   // keys whose value is no text (a list of another kind, say)
  std::string trouble;               // why not all of the store could be read, in one line; "" if it could
};

class SettingsStore {
 public:
  virtual ~SettingsStore() = default;
  // Where the settings are, as a person names it (a file's path).
  virtual std::string name() const = 0;
  // What the store holds. A store that holds nothing yet reads as empty, with no trouble.
  virtual SettingsReading read() = 0;
  // Replaces what the store holds by `values`, all at once or not at all: "" when done, otherwise
  // why not, in one line.
  virtual std::string write(const SettingsValues& values) = 0;
};

}  // namespace platform
