// Which device each port number stands for, over a made-up sysfs tree, and the watch that tells
// when a missing device may have come back.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "serial/device_watch.h"
#include "tests/serial/serial_guards.h"

namespace {

namespace fs = std::filesystem;
using Paths = std::vector<std::string>;

class DeviceMap : public testing::Test {
 protected:
  void SetUp() override {
    char name[] = "/tmp/quillport-sysfs-XXXXXX";
    ASSERT_NE(::mkdtemp(name), nullptr);
    root_ = name;
    fs::create_directories(root_ / "class" / "tty" / "console");
    roots_.emplace((root_ / "class" / "tty").string(), (root_ / "dev").string());
  }
  void TearDown() override {
    roots_.reset();
    fs::remove_all(root_);
  }

  std::string dev(const std::string& name) const { return (root_ / "dev" / name).string(); }
  std::string by_id(const std::string& name) const { return dev("serial/by-id/" + name); }

  // A USB adapter's node as the kernel makes it (standing for a pty), and its by-id link as udev
  // makes it a moment later.
  void plug(const std::string& name, const testsupport::PtyPair& adapter) {
    add_tty(name);
    fs::create_directories(root_ / "dev" / "serial" / "by-id");
    fs::create_symlink(adapter.slave_path(), dev(name));
  }
  void link(const std::string& name, const std::string& link) {
    fs::create_symlink("../../" + name, by_id(link));
  }

  // `device`: "link", "dir" or "" (none); `type` and `console`: attribute text, nullptr for none.
  void add_tty(const std::string& name, const std::string& device = "link",
               const char* type = nullptr, const char* console = nullptr) {
    const fs::path dir = root_ / "class" / "tty" / name;
    fs::create_directories(dir);
    if (device == "link") {
      fs::create_directories(root_ / "devices" / name);
      fs::create_directory_symlink(root_ / "devices" / name, dir / "device");
    } else if (device == "dir") {
      fs::create_directories(dir / "device");
    }
    if (type != nullptr) std::ofstream(dir / "type") << type << "\n";
    if (console != nullptr) std::ofstream(dir / "console") << console << "\n";
  }

  void add_mixed_tree() {
    add_tty("ttyS1", "link", "4");
    add_tty("ttyACM0");
    add_tty("ttyUSB10");
    add_tty("ttyUSB2");
    add_tty("ttyAMA0", "link", "83");
    add_tty("ttyS0", "link", "0");        // no UART behind it
    add_tty("ttyS2", "link", "4", "Y");   // the kernel console
    add_tty("ttyS3", "link", "4", "N");   // the console by console/active
    add_tty("ttyS4", "link", "unknown");  // a type that says nothing
    add_tty("tty5", "");                  // a virtual terminal
    add_tty("ttyUSB0", "dir");
    std::ofstream(root_ / "class" / "tty" / "console" / "active") << "tty0 ttyS3\n";
  }

  static Paths numbers() {
    Paths paths;
    for (int port = 0; port < NBR_PORTS; ++port) paths.push_back(serial::device_path(port));
    while (!paths.empty() && paths.back().empty()) paths.pop_back();
    return paths;
  }

  serialtest::ComVariables variables_;
  std::optional<serialtest::ScanRoots> roots_;
  fs::path root_;
};

TEST_F(DeviceMap, FillsNumbersByKindThenNumberLeavingOutWhatIsNoPort) {
  add_mixed_tree();
  EXPECT_EQ(numbers(), (Paths{dev("ttyUSB0"), dev("ttyUSB2"), dev("ttyUSB10"), dev("ttyACM0"),
                              dev("ttyAMA0"), dev("ttyS1")}));
}

TEST_F(DeviceMap, NamedNumbersComeFirstAndANamedDeviceGetsNoSecondNumber) {
  add_mixed_tree();
  variables_.set(1, "/named/by/variable");
  variables_.set(4, dev("ttyUSB2"));
  EXPECT_EQ(numbers(), (Paths{dev("ttyUSB0"), "/named/by/variable", dev("ttyUSB10"), dev("ttyACM0"),
                              dev("ttyUSB2"), dev("ttyAMA0"), dev("ttyS1")}));
  serial::bind_device(1, "/bound/by/program");
  EXPECT_EQ(serial::device_path(1), "/bound/by/program");
  serial::bind_device(1, "");
  EXPECT_EQ(serial::device_path(1), "/named/by/variable");
}

TEST_F(DeviceMap, NumbersStayWhileDevicesComeAndGoAndEachOpenRescans) {
  add_tty("ttyACM0");
  add_tty("ttyUSB3");
  ASSERT_EQ(numbers(), (Paths{dev("ttyUSB3"), dev("ttyACM0")}));

  // A device that appears later gets the next free number at the next open; one that has gone
  // keeps its number for when it comes back.
  add_tty("ttyUSB1");
  fs::remove_all(root_ / "class" / "tty" / "ttyACM0");
  EXPECT_EQ(SioReset(2, 2048, 2048), TORVEL_WIN32ERR);
  EXPECT_EQ(LastWinError, ENOENT);
  EXPECT_EQ(serial::open_failure(2), dev("ttyUSB1") + ": No such file or directory");
  EXPECT_EQ(numbers(), (Paths{dev("ttyUSB3"), dev("ttyACM0"), dev("ttyUSB1")}));

  serial::reset_device_map();
  EXPECT_EQ(numbers(), (Paths{dev("ttyUSB1"), dev("ttyUSB3")}));
}

TEST_F(DeviceMap, AnAdapterPluggedInAgainUnderAnotherNameKeepsItsNumberByItsLink) {
  const std::string ours = "usb-FTDI_A1-if00-port0";
  testsupport::PtyPair adapter;
  testsupport::PtyPair other;
  plug("ttyUSB0", adapter);
  link("ttyUSB0", ours);
  ASSERT_EQ(numbers(), (Paths{dev("ttyUSB0")}));
  EXPECT_EQ(serial::device_link(0), by_id(ours));

  fs::remove_all(root_ / "class" / "tty" / "ttyUSB0");
  fs::remove(dev("ttyUSB0"));
  fs::remove(by_id(ours));
  serial::DeviceWatch watch;
  watch.watch(serial::device_watch_paths(0));
  ASSERT_FALSE(watch.changed());
  // Another adapter takes the old name: COM1 waits for its own adapter and opens nothing else.
  plug("ttyUSB0", other);
  link("ttyUSB0", "usb-Other_B2-if00-port0");
  EXPECT_TRUE(watch.changed());
  serial::rescan_devices();
  EXPECT_EQ(numbers(), (Paths{by_id(ours), dev("ttyUSB0")}));

  // Ours comes back as ttyUSB1; a scan between its node and its link gives it a number, marked as
  // perhaps the adapter that is away, and taken back once the link shows it is.
  plug("ttyUSB1", adapter);
  serial::rescan_devices();
  EXPECT_TRUE(serial::device_unsettled(2));
  link("ttyUSB1", ours);
  serial::rescan_devices();
  EXPECT_EQ(numbers(), (Paths{dev("ttyUSB1"), dev("ttyUSB0")}));
}

TEST(DeviceWatch, ReportsAHolderLettingGoAndNewEntriesButNotProbes) {
  char name[] = "/tmp/quillport-watch-XXXXXX";
  const fs::path folder = ::mkdtemp(name);
  const fs::path node = folder / "ttyX";
  std::ofstream(node).put('\n');
  const int holder = ::open(node.c_str(), O_RDONLY);
  serial::DeviceWatch watch;
  watch.watch({node.string(), (folder / "serial" / "by-id" / "usb-X").string()});

  ::close(::open(node.c_str(), O_RDONLY));  // a probe, like a failed try of ours
  EXPECT_FALSE(watch.changed());
  ::close(holder);
  EXPECT_TRUE(watch.changed());
  // A link whose folder is not there yet is watched through the nearest folder that is.
  fs::create_directories(folder / "serial");
  EXPECT_TRUE(watch.changed());
  EXPECT_FALSE(watch.changed());
  fs::remove_all(folder);
}

}  // namespace
