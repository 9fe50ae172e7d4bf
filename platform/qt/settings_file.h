// The settings file: an INI file read and written by QSettings, replaced whole on every write.
//
// How it works
//   Reading looks at the file before QSettings does: a missing file is an empty store, and one that
//   is no regular file, is larger than any settings file gets or cannot be opened is not given to
//   QSettings at all (a pipe in its place would never answer). QSettings then reads what it can;
//   lines it cannot parse are told as trouble, values of a kind other than text are named as unread.
//   QSettings never writes the file itself: a write goes to "<file>.new" through a QSettings of its
//   own (which syncs it to disk), the file as it was becomes "<file>.bak", and the new one takes the
//   file's name by rename(2), so a reader sees the old file or the new, never half of one. A file
//   reached through a symbolic link is replaced where the link points, so the link stays.
#pragma once

#include <string>

#include "platform/settings_store.h"

namespace platform {

class SettingsFile final : public SettingsStore {
 public:
  explicit SettingsFile(std::string path) : path_(std::move(path)) {}

  std::string name() const override { return path_; }
  SettingsReading read() override;
  std::string write(const SettingsValues& values) override;

  // The largest file read as settings: a thousand times what the program writes.
  static constexpr long long kLargestFile = 1 << 20;

 private:
  std::string path_;
};

// $XDG_CONFIG_HOME/quillport/quillport.ini, or ~/.config/quillport/quillport.ini without it.
std::string default_settings_path();

}  // namespace platform
