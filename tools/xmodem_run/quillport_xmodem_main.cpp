// quillport-xmodem: one XMODEM transfer by this project's engine, from the command line.
//   quillport-xmodem send|receive [--checksum|--crc|--1k] [--baud N] [--debug 0..2] DEVICE FILE
// Exit status 0 when the transfer succeeded, else 1. The engine's messages go to stderr as they come.
#include <charconv>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>

#include "serial/devices.h"
#include "serial/ser.h"
#include "xmodem/serxydrv.h"

namespace {

int usage() {
  std::fputs("usage: quillport-xmodem send|receive [--checksum|--crc|--1k] [--baud N] [--debug 0..2] DEVICE FILE\n",
             stderr);
  return 2;
}

// The whole of `text` as a decimal number of type T; nothing for any other text, which then gets
// the usage rather than an uncaught exception.
template <typename T>
std::optional<T> number(const char* text) {
  T value{};
  const char* end = text + std::strlen(text);
  const auto [at, error] = std::from_chars(text, end, value);
  if (error != std::errc() || at != end) return std::nullopt;
  return value;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) return usage();
  const std::string direction = argv[1];
  if (direction != "send" && direction != "receive") return usage();
  std::string check = "crc";
  unsigned baud = 115200;
  int i = 2;
  for (; i < argc - 2; ++i) {
    const std::string option = argv[i];
    if (option == "--checksum" || option == "--crc" || option == "--1k") {
      check = option.substr(2);
    } else if (option == "--baud" && i + 1 < argc - 2) {
      const std::optional<unsigned> rate = number<unsigned>(argv[++i]);
      if (!rate) return usage();
      baud = *rate;
    } else if (option == "--debug" && i + 1 < argc - 2) {
      const std::optional<int> level = number<int>(argv[++i]);
      if (!level) return usage();
      xyDebug(*level);
    } else {
      return usage();
    }
  }
  if (i != argc - 2) return usage();
  const char* device = argv[argc - 2];
  const char* file = argv[argc - 1];

  constexpr int port = 0;
  serial::bind_device(port, device);
  if (SioReset(port, 2048, 2048) != TORVEL_OK) {
    std::fprintf(stderr, "quillport-xmodem: %s\n", serial::open_failure(port).c_str());
    return 1;
  }
  SioBaud(port, baud);
  xyAcquire(port);
  if (direction == "send")
    xyStartTx(port, file, check == "1k" ? 1 : 0, 0);
  else
    xyStartRx(port, file, check == "checksum" ? '\x15' : 'C', 0);
  char message[MESSAGE_SIZE];
  for (bool running = true; running;) {
    running = xyDriver(port) != 0;
    while (xyGetMessage(message, sizeof message)) std::fprintf(stderr, "%s\n", message);
  }
  const int outcome = xyGetParameter(port, XY_GET_ERROR_CODE);
  xyRelease(port);
  SioDone(port);
  return outcome == 0 ? 0 : 1;
}
