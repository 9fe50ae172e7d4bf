// A live Qt dialog built from a template (the widget tests' own unless another is given), on the
// offscreen platform, whose procedure records every message with the state of the controls it
// cares about at that moment.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "platform/dialog_template.h"
#include "platform/qt/qt_dialog_host.h"
#include "tests/qt/test_dialog.h"

namespace qttest {

struct Seen {
  platform::MessageKind kind;
  int id;
  platform::Notification code;
  int key_msg;   // for key notifications: 0 key-down, 1 character
  int key_code;  // the code as offered
  int depth;     // 1 when the procedure was not already running
  bool operator==(const Seen&) const = default;
};

class DialogTest : public ::testing::Test {
 protected:
  explicit DialogTest(const platform::DialogTemplate& dialog = test_dialog());
  ~DialogTest() override;

  // Builds, initialises and shows the dialog, then forgets the messages seen so far.
  void show();
  // The commands seen, as (id, notification).
  std::vector<std::pair<int, platform::Notification>> commands() const;
  // The key notifications seen, as (0 key-down / 1 character, code).
  std::vector<std::pair<int, int>> keys() const;
  int count(platform::MessageKind kind) const;

  // Runs inside the procedure after a message is recorded; its result is the procedure's.
  std::function<int(platform::DialogHost&, const platform::DialogMessage&)> on_message;
  std::vector<Seen> seen;
  int depth = 0;
  platform::QtDialogHost host;

 private:
  static int procedure(platform::DialogHost& dialog, const platform::DialogMessage& message);
  static DialogTest* running;
};

}  // namespace qttest
