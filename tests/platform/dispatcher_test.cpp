// The rules by which events reach the dialog procedure, run through the headless host (the Qt window
// uses the same rules): what waits, what runs at once, what runs while a handler waits in a box, and
// what is dropped.
#include "platform/dispatcher.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/headless_host.h"

namespace platform {
namespace {

using std::chrono::milliseconds;

constexpr int kDisplay = 10;
constexpr int kButton = 11;
constexpr int kOther = 12;
constexpr ControlTemplate kControls[] = {
    {kDisplay, ControlKind::Display, "", {}},
    {kButton, ControlKind::PushButton, "Go", {}},
    {kOther, ControlKind::PushButton, "Other", {}},
};
constexpr DialogTemplate kDialog{"rules", {}, "", 8, kControls};

struct Seen {
  MessageKind kind;
  int id;
  int depth;  // 1: delivered when no other message was running
  bool operator==(const Seen&) const = default;
};

std::vector<Seen> seen;
int depth = 0;
std::function<void(HeadlessHost&, const DialogMessage&)> on_message;

int procedure(DialogHost& host, const DialogMessage& message) {
  ++depth;
  seen.push_back({message.kind, message.id, depth});
  if (on_message) on_message(static_cast<HeadlessHost&>(host), message);
  --depth;
  return 1;
}

int count(MessageKind kind, int id, int at_depth) {
  int n = 0;
  for (const Seen& s : seen) n += s.kind == kind && s.id == id && s.depth == at_depth ? 1 : 0;
  return n;
}

class DispatchRules : public ::testing::Test {
 protected:
  DispatchRules() : host(kDialog, procedure) {
    seen.clear();
    host.screen().set_key_events(true);
  }
  ~DispatchRules() override { on_message = nullptr; }
  HeadlessHost host;
};

constexpr Seen kClick{MessageKind::Command, kButton, 1};

TEST_F(DispatchRules, WhatAHandlersOwnWorkLetsThrough) {
  struct Case {
    const char* what;
    std::function<void(HeadlessHost&)> during_click;
    std::vector<Seen> expected;
  };
  const Case cases[] = {
      {"a click raised by a handler waits until it is done",
       [](HeadlessHost& h) { h.click(kOther); },
       {kClick, {MessageKind::Command, kOther, 1}}},
      {"a key the display reports is answered at once",
       [](HeadlessHost& h) { h.screen().key_down(VK_KEY_A); },
       {kClick, {MessageKind::Notify, kDisplay, 2}}},
      {"a tick during the handler's own work is dropped",
       [](HeadlessHost& h) { EXPECT_FALSE(h.fire_timer(1)); },
       {kClick}},
      {"after the dialog ends nothing more is delivered",
       [](HeadlessHost& h) {
         h.end_dialog(3);
         h.click(kOther);
       },
       {kClick}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    HeadlessHost dialog(kDialog, procedure);
    dialog.screen().set_key_events(true);
    dialog.start_timer(1, 50);
    seen.clear();
    on_message = [&c](HeadlessHost& h, const DialogMessage& message) {
      if (message.kind == MessageKind::Command && message.id == kButton) c.during_click(h);
    };
    dialog.click(kButton);
    EXPECT_EQ(seen, c.expected);
  }
}

TEST_F(DispatchRules, WhileAHandlerWaitsInABoxTimersTickButNeverIntoTheirOwnHandler) {
  host.hold_message_boxes(milliseconds(150));
  on_message = [](HeadlessHost&, const DialogMessage& message) {
    const bool first_tick_of_1 =
        message.kind == MessageKind::Timer && message.id == 1 && count(MessageKind::Timer, 1, 1) == 1;
    if (first_tick_of_1 || message.kind == MessageKind::Command) desktop().message_box("waiting", "box");
  };
  host.start_timer(1, 5);
  host.start_timer(2, 5);

  // A command's box: both timers tick into it.
  host.click(kButton);
  EXPECT_GE(count(MessageKind::Timer, 1, 2), 1);
  EXPECT_GE(count(MessageKind::Timer, 2, 2), 1);

  // Timer 1's own box: timer 2 ticks into it, timer 1 never.
  seen.clear();
  ASSERT_TRUE(host.fire_timer(1));
  EXPECT_EQ(count(MessageKind::Timer, 1, 2), 0);
  EXPECT_GE(count(MessageKind::Timer, 2, 2), 1);
  EXPECT_EQ(host.message_boxes().size(), 2u);  // the nested ticks showed none of their own
}

TEST_F(DispatchRules, APromptHeldOpenAnswersAfterTheClockHasRun) {
  host.queue_file_answer(std::string("/tmp/answer"), milliseconds(100));
  std::optional<std::string> answer;
  on_message = [&answer](HeadlessHost&, const DialogMessage& message) {
    if (message.kind == MessageKind::Command) answer = desktop().open_file_prompt({"Name", "htm"});
  };
  host.start_timer(1, 5);
  host.click(kButton);
  EXPECT_EQ(answer, "/tmp/answer");
  EXPECT_GE(count(MessageKind::Timer, 1, 2), 1);
  EXPECT_EQ(host.prompt_titles(), std::vector<std::string>{"Name"});
}

}  // namespace
}  // namespace platform
