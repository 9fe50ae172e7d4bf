// What the program asks of the desktop without an owner window: modal message boxes and the
// open-file prompt. One desktop is installed at a time (the Qt window's, or a test's headless host).
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace platform {

struct FilePrompt {
  std::string_view title;
  std::string_view default_extension;  // added to a typed name that has none
  // The file will be written: choosing one that exists asks whether to replace it, and "No" goes
  // back to the prompt.
  bool confirm_replace = false;
};

class Desktop {
 public:
  virtual ~Desktop() = default;
  // Shows a modal box with an OK button and returns when it has been dismissed.
  virtual void message_box(std::string_view text, std::string_view caption) = 0;
  // Asks for a file to open or to create; the full path, or nothing when cancelled.
  virtual std::optional<std::string> open_file_prompt(const FilePrompt& prompt) = 0;
};

// The installed desktop. With none installed, it is the console's.
Desktop& desktop();
// The console's desktop: boxes are written to stderr and prompts cancel.
Desktop& console_desktop();

// Installs a desktop for its lifetime and puts the previous one back afterwards.
class DesktopInstallation {
 public:
  explicit DesktopInstallation(Desktop& desktop);
  ~DesktopInstallation();
  DesktopInstallation(const DesktopInstallation&) = delete;
  DesktopInstallation& operator=(const DesktopInstallation&) = delete;

 private:
  Desktop* previous_;
};

}  // namespace platform
