#include "tests/qt/qt_fixture.h"

#include <QApplication>
#include <QDialog>
#include <QTest>

#include <memory>

namespace qttest {
namespace {

// One QApplication for the whole test program.
class QtEnvironment final : public ::testing::Environment {
 public:
  void SetUp() override {
    // Run by hand from a desktop session, the tests still open no windows on it.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    app_ = std::make_unique<QApplication>(argc_, argv_);
  }
  void TearDown() override { app_.reset(); }

 private:
  int argc_ = 1;
  char name_[9] = "qt_tests";
  char* argv_[2] = {name_, nullptr};
  std::unique_ptr<QApplication> app_;
};

[[maybe_unused]] ::testing::Environment* const kQtEnvironment =
    ::testing::AddGlobalTestEnvironment(new QtEnvironment);

}  // namespace

DialogTest* DialogTest::running = nullptr;

DialogTest::DialogTest(const platform::DialogTemplate& dialog) : host(dialog, &DialogTest::procedure) {
  running = this;
}

DialogTest::~DialogTest() { running = nullptr; }

int DialogTest::procedure(platform::DialogHost& dialog, const platform::DialogMessage& message) {
  DialogTest& test = *running;
  ++test.depth;
  Seen record{message.kind, message.id, message.code, -1, 0, test.depth};
  if (message.filter != nullptr) {
    record.key_msg = message.filter->msg == platform::KeyMessage::KeyDown ? 0 : 1;
    record.key_code = message.filter->code;
  }
  test.seen.push_back(record);
  if (message.kind == platform::MessageKind::InitDialog) dialog.screen().set_key_events(true);
  const int handled = test.on_message ? test.on_message(dialog, message) : 0;
  --test.depth;
  return handled;
}

void DialogTest::show() {
  host.create();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(host.window()));
  host.window()->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(host.window()));
  seen.clear();
}

std::vector<std::pair<int, platform::Notification>> DialogTest::commands() const {
  std::vector<std::pair<int, platform::Notification>> out;
  for (const Seen& s : seen)
    if (s.kind == platform::MessageKind::Command) out.emplace_back(s.id, s.code);
  return out;
}

std::vector<std::pair<int, int>> DialogTest::keys() const {
  std::vector<std::pair<int, int>> out;
  for (const Seen& s : seen)
    if (s.kind == platform::MessageKind::Notify) out.emplace_back(s.key_msg, s.key_code);
  return out;
}

int DialogTest::count(platform::MessageKind kind) const {
  int n = 0;
  for (const Seen& s : seen) n += s.kind == kind ? 1 : 0;
  return n;
}

}  // namespace qttest
