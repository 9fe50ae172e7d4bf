// The real dialog (its procedure, keyboard filter and pump) in the headless host, with
// pseudo-terminals as the lines and a folder for logs.
#pragma once

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <string>

#include "core/dialog_template.h"
#include "core/resource.h"
#include "platform/headless_host.h"
#include "shell/dialog.h"
#include "tests/core/core_fixture.h"

namespace testsupport {

class DialogTest : public ::testing::Test {
 protected:
  explicit DialogTest(int scrollback_rows = platform::kDefaultScrollbackRows)
      : folder_(std::filesystem::temp_directory_path() /
                ("quillport-dialog-" + std::to_string(getpid()))),
        host(quillport_dialog(), DialogFunc, scrollback_rows) {
    std::filesystem::create_directories(folder_);
  }
  ~DialogTest() override {
    if (!host.ended()) host.click(IDCANCEL);  // Exit: ports closed, log ended
    std::filesystem::remove_all(folder_);
  }

  // Initialises the dialog and starts a log named `name`; its path.
  std::filesystem::path start_with_log(const std::string& name = "trace.htm") {
    host.init();
    const auto log = folder_ / name;
    host.queue_file_answer(log.string());
    host.click(IDR_LOG);
    EXPECT_EQ(hex_log, 1);
    return log;
  }

  std::string shown() const { return host.text(IDT_SCREEN); }

  std::filesystem::path folder_;
  TerminalPorts ports;
  platform::HeadlessHost host;
};

}  // namespace testsupport
