// xmodem-noise-run: many XMODEM transfers over a noisy line simulated by linesim, counted by outcome.
//   xmodem-noise-run [--transfers N] [--size BYTES] [--baud N] [--flip RATE] [--drop RATE] [--seed N]
//                    [--only GROUP]
// Groups: "engine->engine", "engine<-engine" (our engine against quillport-xmodem on a second pty),
// "engine->rx", "sx->engine" (lrzsz on pipes). The variant (checksum, CRC, 1K) turns with each
// transfer. A transfer is completed when both sides report success and the file arrived whole;
// silently corrupted when the receiver reports success and the file differs; otherwise failed.
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <stdexcept>
#include <string>

#include "tools/xmodem_run/xmodem_run.h"

namespace {

using xmodemrun::Check;

struct Group {
  const char* name;
  bool we_send;
  bool lrzsz;
};

// The engine's code in the error line quillport-xmodem printed ("!COM1: ERROR -312 (...)"), or the
// exit status for another peer.
std::string peer_outcome(const xmodemrun::Result& r, bool lrzsz) {
  const std::size_t at = r.peer_log.find("ERROR ");
  if (lrzsz || at == std::string::npos) return "exit " + std::to_string(r.peer);
  return r.peer_log.substr(at + 6, r.peer_log.find(' ', at + 6) - at - 6);
}

std::string program_beside_me(const char* name) {
  return (std::filesystem::read_symlink("/proc/self/exe").parent_path() / name).string();
}

}  // namespace

int main(int argc, char** argv) {
  int transfers = 100;
  std::size_t size = 10 * 1024;
  linesim::Options line;
  line.baud = 115200;
  line.a_to_b.bit_error_rate = line.b_to_a.bit_error_rate = 1e-4;
  line.a_to_b.drop_rate = line.b_to_a.drop_rate = 1e-4;
  std::uint64_t seed = 1;
  std::string only;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string option = argv[i];
    const std::string value = argv[i + 1];
    try {
      if (option == "--transfers") transfers = std::stoi(value);
      else if (option == "--size") size = std::stoul(value);
      else if (option == "--baud") line.baud = static_cast<unsigned>(std::stoul(value));
      else if (option == "--flip") line.a_to_b.bit_error_rate = line.b_to_a.bit_error_rate = std::stod(value);
      else if (option == "--drop") line.a_to_b.drop_rate = line.b_to_a.drop_rate = std::stod(value);
      else if (option == "--seed") seed = std::stoull(value);
      else if (option == "--only") only = value;
      else {
        std::fprintf(stderr, "xmodem-noise-run: unknown option %s\n", option.c_str());
        return 2;
      }
    } catch (const std::logic_error&) {  // std::sto*: no number, or one out of range
      std::fprintf(stderr, "xmodem-noise-run: bad %s %s\n", option.c_str(), value.c_str());
      return 2;
    }
  }

  const std::string engine_program = program_beside_me("quillport-xmodem");
  const auto root = std::filesystem::temp_directory_path() / ("xmodem-noise-" + std::to_string(::getpid()));
  const std::string original = xmodemrun::random_bytes(size, static_cast<unsigned>(seed));

  const Group groups[] = {{"engine->engine", true, false},
                          {"engine<-engine", false, false},
                          {"engine->rx", true, true},
                          {"sx->engine", false, true}};
  const Check checks[] = {Check::Sum, Check::Crc, Check::Crc1K};
  int corrupted_total = 0;
  for (const Group& group : groups) {
    if (!only.empty() && only != group.name) continue;
    int completed = 0;
    int corrupted = 0;
    std::map<std::string, int> failures;
    double seconds = 0;
    for (int n = 0; n < transfers; ++n) {
      const Check check = checks[n % 3];
      const auto ours = root / (std::string("ours-") + std::to_string(n));
      const auto theirs = root / (std::string("peer-") + std::to_string(n));
      std::filesystem::create_directories(ours);
      std::filesystem::create_directories(theirs);
      const std::string our_file = (ours / "file.bin").string();
      const std::string their_file = (theirs / "file.bin").string();
      xmodemrun::write_file(group.we_send ? our_file : their_file, original);
      xmodemrun::Peer peer;
      if (group.lrzsz)
        peer = group.we_send ? xmodemrun::rx(check, "file.bin") : xmodemrun::sx(check, "file.bin");
      else
        peer = xmodemrun::engine_program(engine_program, !group.we_send, check, "file.bin");
      line.seed = seed * 1000003 + static_cast<std::uint64_t>(n);
      const xmodemrun::Result r =
          xmodemrun::run_engine(0, group.we_send, check, our_file, peer, theirs.string(), line);
      seconds += r.seconds;
      const std::string received = xmodemrun::read_file(group.we_send ? their_file : our_file);
      const bool receiver_ok = group.we_send ? r.peer == 0 : r.engine == 0;
      const bool whole = xmodemrun::is_padded_copy(received, original);
      if (receiver_ok && !whole) {
        ++corrupted;
        std::printf("  CORRUPTED: %s %s transfer %d\n", group.name, xmodemrun::name(check).c_str(), n);
      } else if (receiver_ok && r.engine == 0 && r.peer == 0) {
        ++completed;
      } else {
        ++failures[xmodemrun::name(check) + ": ours " + std::to_string(r.engine) + " / peer " + peer_outcome(r, group.lrzsz)];
      }
      std::filesystem::remove_all(ours);
      std::filesystem::remove_all(theirs);
      std::fflush(stdout);
    }
    std::printf("%-15s %d transfers of %zu bytes: %d completed, %d failed, %d silently corrupted (%.0f s)\n",
                group.name, transfers, size, completed, transfers - completed - corrupted, corrupted, seconds);
    for (const auto& [outcome, count] : failures) std::printf("  failed %dx: %s\n", count, outcome.c_str());
    std::fflush(stdout);
    corrupted_total += corrupted;
  }
  std::filesystem::remove_all(root);
  return corrupted_total == 0 ? 0 : 1;
}
