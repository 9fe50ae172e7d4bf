#include "platform/desktop.h"

#include <cstdio>

namespace platform {
namespace {

// Before any window exists (or in a tool without one) a box still reaches the user on stderr, and a
// prompt is cancelled rather than answered with a guess.
class ConsoleDesktop final : public Desktop {
 public:
  void message_box(std::string_view text, std::string_view caption) override {
    std::fprintf(stderr, "%.*s: %.*s\n", static_cast<int>(caption.size()), caption.data(),
                 static_cast<int>(text.size()), text.data());
  }
  std::optional<std::string> open_file_prompt(const FilePrompt&) override { return std::nullopt; }
};

ConsoleDesktop console;
Desktop* installed = &console;

}  // namespace

Desktop& desktop() { return *installed; }

Desktop& console_desktop() { return console; }

DesktopInstallation::DesktopInstallation(Desktop& desktop) : previous_(installed) {
  installed = &desktop;
}

DesktopInstallation::~DesktopInstallation() { installed = previous_; }

}  // namespace platform
