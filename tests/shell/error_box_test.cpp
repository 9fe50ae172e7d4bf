// Every box that reports a failure of the system, provoked for real: its caption, its first line in
// the "text = number" form, and a second line that names the file or device and gives the system's
// reason for that number (or says why there was no file at all).
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <string>

#include "core/hex.h"
#include "serial/ser.h"
#include "tests/shell/shell_fixture.h"

namespace {

using namespace std::chrono_literals;

class ErrorBoxTest : public testsupport::DialogTest {
 protected:
  ErrorBoxTest() : com1(ports.bind_pty(0)) { host.init(); }

  void start_dump(bool send, std::optional<std::string> file) {
    host.choose(IDC_PROTOCOL, HEX_DUMP);
    host.click(send ? IDR_SENDFILE : IDR_GETFILE);
    host.queue_file_answer(std::move(file));
    host.click(IDB_GO_FILE);
  }
  void start_log(std::optional<std::string> file) {
    host.click(IDR_NOLOG);
    host.queue_file_answer(std::move(file));
    host.click(IDR_LOG);
  }

  testsupport::PtyPair& com1;
};

std::string reason(const std::string& subject, int error) { return subject + ": " + std::strerror(error); }

TEST_F(ErrorBoxTest, EachNamesWhatFailedAndTheSystemsReason) {
  const std::string missing_folder = (folder_ / "missing" / "trace.htm").string();
  const std::string missing_file = (folder_ / "missing.bin").string();
  const std::string fifo = (folder_ / "pipe.htm").string();
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const struct {
    const char* what;
    std::function<void()> provoke;
    std::string first_line;
    std::string second_line;
  } cases[] = {
      {"a rate the device refuses",
       [&] {
         host.set_text(IDC_SPEED1, "5");
         host.command(IDC_SPEED1, platform::Notification::Enter);
       },
       "Error reconfiguring comm port parameters = " + std::to_string(EINVAL), reason(com1.slave_path(), EINVAL)},
      {"a log in a folder that does not exist", [&] { start_log(missing_folder); },
       "Log File open error = " + std::to_string(ENOENT), reason(missing_folder, ENOENT)},
      {"a log into a FIFO nothing reads", [&] { start_log(fifo); }, "Log File open error = " + std::to_string(ENXIO),
       reason(fifo, ENXIO)},
      {"a log prompt cancelled", [&] { start_log(std::nullopt); }, "Log File open error = " + std::to_string(ENOENT),
       "no file was named"},
      {"a log name too long to keep", [&] { start_log("/tmp/" + std::string(300, 'x') + ".htm"); },
       "Log File open error = " + std::to_string(ENAMETOOLONG), "the name given is longer than 259 characters"},
      {"a dump of a file that does not exist", [&] { start_dump(true, missing_file); },
       "Dump File open error = " + std::to_string(ENOENT), reason(missing_file, ENOENT)},
      {"a dump of a folder", [&] { start_dump(true, folder_.string()); },
       "Dump File open error = " + std::to_string(EISDIR), reason(folder_.string(), EISDIR)},
      {"a dump into a device that is full",
       [&] {
         host.queue_replace_answer(true);
         start_dump(false, "/dev/full");
         com1.write("x");
         ASSERT_TRUE(host.run_until([&] { return !host.message_boxes().empty(); }, 10s));
       },
       "Dump File write error = " + std::to_string(ENOSPC), reason("/dev/full", ENOSPC)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    host.clear_message_boxes();
    c.provoke();
    ASSERT_EQ(host.message_boxes().size(), 1u);
    EXPECT_EQ(host.message_boxes()[0].caption, "Quillport System Error");
    EXPECT_EQ(host.message_boxes()[0].text, c.first_line + "\n" + c.second_line);
  }
}

}  // namespace
