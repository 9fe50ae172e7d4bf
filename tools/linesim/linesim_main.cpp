// linesim: a serial line to rehearse on. See usage() or the README.
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "tools/linesim/line_sim.h"

namespace {

volatile sig_atomic_t interrupted = 0;

void usage() {
  std::fputs(
      "usage: linesim [options] [-- PROGRAM [ARGS...]]\n"
      "  Without a program: two pseudo-terminals A and B joined by the line.\n"
      "  With one: pseudo-terminal A joined to the program's stdin and stdout (B); linesim ends\n"
      "  when the program does and exits with its status.\n"
      "options (a fault may be given for one direction: --flip a2b:1e-4, --drop-at b2a:5,9):\n"
      "  --baud N          pace each direction at N bit/s, 10 bits a byte (default: no pacing)\n"
      "  --seed N          seed of the random faults (default 1)\n"
      "  --flip RATE       chance of each bit being flipped\n"
      "  --drop RATE       chance of each byte being lost\n"
      "  --noise RATE      chance of a random byte inserted before each byte\n"
      "  --stall RATE:MS   chance of the line stopping MS milliseconds before each byte\n"
      "  --flip-at N,...   flip the lowest bit of these bytes (0 = first byte sent)\n"
      "  --drop-at N,...   lose these bytes\n"
      "  --link-a PATH     make PATH a link to pseudo-terminal A (and --link-b for B)\n",
      stderr);
}

[[noreturn]] void fail(const std::string& text) {
  std::fprintf(stderr, "linesim: %s\n", text.c_str());
  std::exit(2);
}

std::vector<std::uint64_t> offsets(const std::string& list) {
  std::vector<std::uint64_t> result;
  std::stringstream in(list);
  std::string item;
  while (std::getline(in, item, ',')) result.push_back(std::stoull(item));
  return result;
}

// Applies `set` to the faults of the direction named before the value ("a2b:"), or to both.
template <typename Set>
void for_direction(linesim::Options& options, std::string value, Set set) {
  bool a2b = true;
  bool b2a = true;
  if (value.rfind("a2b:", 0) == 0 || value.rfind("b2a:", 0) == 0) {
    a2b = value[0] == 'a';
    b2a = !a2b;
    value = value.substr(4);
  }
  if (a2b) set(options.a_to_b, value);
  if (b2a) set(options.b_to_a, value);
}

void parse_fault(linesim::Options& options, const std::string& option, const std::string& value) {
  if (option == "--flip")
    for_direction(options, value, [](linesim::Faults& f, const std::string& v) { f.bit_error_rate = std::stod(v); });
  else if (option == "--drop")
    for_direction(options, value, [](linesim::Faults& f, const std::string& v) { f.drop_rate = std::stod(v); });
  else if (option == "--noise")
    for_direction(options, value, [](linesim::Faults& f, const std::string& v) { f.noise_rate = std::stod(v); });
  else if (option == "--stall")
    for_direction(options, value, [](linesim::Faults& f, const std::string& v) {
      const std::size_t colon = v.find(':');
      if (colon == std::string::npos) throw std::invalid_argument("RATE:MS");
      f.stall_rate = std::stod(v.substr(0, colon));
      f.stall_ms = std::stoi(v.substr(colon + 1));
    });
  else if (option == "--flip-at")
    for_direction(options, value, [](linesim::Faults& f, const std::string& v) { f.flip_at = offsets(v); });
  else if (option == "--drop-at")
    for_direction(options, value, [](linesim::Faults& f, const std::string& v) { f.drop_at = offsets(v); });
  else
    throw std::invalid_argument("unknown option");
}

void link_to(const std::string& link, const std::string& target) {
  if (link.empty()) return;
  std::error_code ignored;
  std::filesystem::remove(link, ignored);
  std::filesystem::create_symlink(target, link);
}

}  // namespace

int main(int argc, char** argv) {
  linesim::Options options;
  std::string link_a;
  std::string link_b;
  std::vector<std::string> program;
  for (int i = 1; i < argc; ++i) {
    const std::string option = argv[i];
    if (option == "--") {
      program.assign(argv + i + 1, argv + argc);
      break;
    }
    if (option == "-h" || option == "--help") {
      usage();
      return 0;
    }
    if (i + 1 >= argc) {
      usage();
      fail(option + " needs a value");
    }
    const std::string value = argv[++i];
    try {
      if (option == "--baud")
        options.baud = static_cast<unsigned>(std::stoul(value));
      else if (option == "--seed")
        options.seed = std::stoull(value);
      else if (option == "--link-a")
        link_a = value;
      else if (option == "--link-b")
        link_b = value;
      else
        parse_fault(options, option, value);
    } catch (const std::exception&) {
      usage();
      fail("bad " + option + " " + value);
    }
  }

  struct sigaction on_signal {};
  on_signal.sa_handler = [](int) { interrupted = 1; };
  ::sigaction(SIGINT, &on_signal, nullptr);
  ::sigaction(SIGTERM, &on_signal, nullptr);

  try {
    linesim::Pty a;
    link_to(link_a, a.slave_path());
    std::printf("A %s\n", a.slave_path().c_str());
    std::unique_ptr<linesim::Pty> b;
    std::unique_ptr<linesim::Program> peer;
    if (program.empty()) {
      b = std::make_unique<linesim::Pty>();
      link_to(link_b, b->slave_path());
      std::printf("B %s\n", b->slave_path().c_str());
    } else {
      peer = std::make_unique<linesim::Program>(program, ".", "");
      std::printf("B %s\n", program[0].c_str());
    }
    std::fflush(stdout);
    int status = 0;
    {
      linesim::Relay relay(a.end(), b ? b->end() : peer->end(), options);
      while (!interrupted) {
        if (peer && relay.wait_drained(100)) break;
        if (!peer) ::usleep(100 * 1000);
      }
      if (peer) status = peer->wait(interrupted ? 0 : 2000);
      // Closing a pty master discards what its slave has not read yet (the program's last ACK):
      // the line stays up a moment longer for the other end to take it.
      if (peer && !interrupted) ::usleep(500 * 1000);
      relay.stop();
      std::printf("a->b %s\nb->a %s\n", linesim::describe(relay.a_to_b()).c_str(),
                  linesim::describe(relay.b_to_a()).c_str());
    }
    for (const std::string& link : {link_a, link_b})
      if (!link.empty()) std::filesystem::remove(link);
    return status < 0 ? 1 : status;
  } catch (const std::exception& e) {
    fail(e.what());
  }
}
