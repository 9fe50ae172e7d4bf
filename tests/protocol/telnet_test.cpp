// The Telnet and RFC 2217 codec: streams decoded however they are cut into reads, bytes escaped and
// read back, the client's commands, the option table's answers and the server's reports.
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "protocol/telnet.h"

namespace {

using namespace protocol;
using Octets = std::vector<std::uint8_t>;

constexpr std::uint8_t IAC = kTelnetIac, SB = kTelnetSb, SE = kTelnetSe, WILL = kTelnetWill, WONT = kTelnetWont,
                       DO = kTelnetDo, DONT = kTelnetDont, COM = kTelnetComPortOption;

// An event as a comparable text: "N251,44" a negotiation, "S44:65 00" a sub-negotiation, "C241" a
// command, "M" malformed.
std::string describe(const TelnetEvent& e) {
  switch (e.kind) {
    case TelnetEventKind::None: return "";
    case TelnetEventKind::Command: return "C" + std::to_string(e.code);
    case TelnetEventKind::Negotiation: return "N" + std::to_string(e.code) + "," + std::to_string(e.option);
    case TelnetEventKind::Malformed: return "M";
    case TelnetEventKind::Subnegotiation: {
      std::string text = "S" + std::to_string(e.option) + ":";
      for (const std::uint8_t b : e.payload) text += std::to_string(b) + " ";
      return text;
    }
  }
  return "?";
}

struct Decoded {
  Octets data;
  std::vector<std::string> events;
  bool operator==(const Decoded&) const = default;
};

void PrintTo(const Decoded& d, std::ostream* os) {
  *os << testing::PrintToString(d.data) << " " << testing::PrintToString(d.events);
}

// Feeds `in` to one decoder in reads cut at `cuts`, with an output of `room` bytes a call.
Decoded decode(const Octets& in, const std::vector<std::size_t>& cuts, std::size_t room = 4096) {
  TelnetDecoder state;
  Decoded out;
  std::size_t from = 0;
  std::vector<std::size_t> ends = cuts;
  ends.push_back(in.size());
  for (const std::size_t end : ends) {
    std::span<const std::uint8_t> read = std::span(in).subspan(from, end - from);
    from = end;
    while (!read.empty()) {
      Octets buffer(room);
      const TelnetStep step = telnet_decode(state, read, buffer);
      out.data.insert(out.data.end(), buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(step.written));
      if (step.event.kind != TelnetEventKind::None) out.events.push_back(describe(step.event));
      const bool progress = step.used > 0 || step.written > 0 || step.event.kind != TelnetEventKind::None;
      EXPECT_TRUE(progress);
      if (!progress) break;
      read = read.subspan(step.used);
    }
  }
  return out;
}

Octets concat(std::initializer_list<Octets> parts) {
  Octets all;
  for (const Octets& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

TEST(Telnet, StreamsDecodeToTheSameDataAndCommandsHoweverTheyAreCut) {
  const Octets long_sub = concat({{IAC, SB, COM}, Octets(200, 'x'), {IAC, SE, 'k'}});
  const struct {
    const char* what;
    Octets in;
    Decoded expected;
  } cases[] = {
      {"doubled IAC is one data byte", {'A', IAC, IAC, 'B', IAC, IAC}, {{'A', 0xFF, 'B', 0xFF}, {}}},
      {"ser2net's opening",
       {IAC, WILL, 3, IAC, DO, 3, IAC, WILL, 1, IAC, DONT, 1, IAC, DO, 0, IAC, WILL, 0, IAC, DO, COM},
       {{}, {"N251,3", "N253,3", "N251,1", "N254,1", "N253,0", "N251,0", "N253,44"}}},
      {"commands between data", {'x', IAC, kTelnetNop, 'y', IAC, 249, 'z'}, {{'x', 'y', 'z'}, {"C241", "C249"}}},
      {"a report with a doubled 0xFF in its value",
       {'a', IAC, SB, COM, 101, 0, 1, IAC, IAC, IAC, SE, 'b'},
       {{'a', 'b'}, {"S44:101 0 1 255 "}}},
      {"IAC before a byte that is no command", {'a', IAC, 'Q', 'b'}, {{'a', 'b'}, {"M"}}},
      {"SE outside a sub-negotiation", {IAC, SE, 'b'}, {{'b'}, {"M"}}},
      {"an empty sub-negotiation", {IAC, SB, IAC, SE, 'b'}, {{'b'}, {"M"}}},
      {"a sub-negotiation cut short by a command",
       {IAC, SB, COM, 1, IAC, WILL, 1, 'b'},
       {{'b'}, {"M", "N251,1"}}},
      {"a sub-negotiation longer than kept", long_sub, {{'k'}, {"M"}}},
      {"data bytes inside a sub-negotiation stay out of the data", {IAC, SB, COM, 'h', 'i', IAC, SE}, {{}, {"S44:104 105 "}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(decode(c.in, {}), c.expected);
    EXPECT_EQ(decode(c.in, {}, 1), c.expected) << "an output of one byte a call";
    for (std::size_t cut = 1; cut < c.in.size(); ++cut) EXPECT_EQ(decode(c.in, {cut}), c.expected) << "cut at " << cut;
    std::vector<std::size_t> every;
    for (std::size_t cut = 1; cut < c.in.size(); ++cut) every.push_back(cut);
    EXPECT_EQ(decode(c.in, every), c.expected) << "a byte a read";
  }
}

TEST(Telnet, EveryByteValueEscapedComesBackDecodedInPlace) {
  Octets all;
  for (int round = 0; round < 2; ++round)
    for (int b = 0; b < 256; ++b) all.push_back(static_cast<std::uint8_t>(b));
  Octets escaped(all.size() * 2);
  const TelnetEscaped e = telnet_escape(all, escaped);
  EXPECT_EQ(e.used, all.size());
  EXPECT_EQ(e.written, all.size() + 2);
  escaped.resize(e.written);

  TelnetDecoder state;
  const TelnetStep step = telnet_decode(state, escaped, escaped);  // output onto its own input
  EXPECT_EQ(step.used, escaped.size());
  EXPECT_EQ(Octets(escaped.begin(), escaped.begin() + static_cast<std::ptrdiff_t>(step.written)), all);
}

TEST(Telnet, EscapingStopsBeforeAByteItHasNoRoomToDouble) {
  const Octets in = {'a', 0xFF, 'b'};
  Octets out(2);
  const TelnetEscaped e = telnet_escape(in, out);
  EXPECT_EQ(e.used, 1u);
  EXPECT_EQ(e.written, 1u);
}

TEST(Telnet, ComPortCommandsAreBuiltAsTheWireCarriesThem) {
  const auto bytes = [](const TelnetMessage& m) { return Octets(m.view().begin(), m.view().end()); };
  EXPECT_EQ(bytes(com_port_baud(115200)), (Octets{IAC, SB, COM, 1, 0x00, 0x01, 0xC2, 0x00, IAC, SE}));
  EXPECT_EQ(bytes(com_port_baud(0xFF00FFFF)), (Octets{IAC, SB, COM, 1, 0xFF, 0xFF, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, IAC, SE}));
  EXPECT_EQ(bytes(com_port_byte(rfc2217::kSetControl, rfc2217::kDtrOn)), (Octets{IAC, SB, COM, 5, 8, IAC, SE}));
  EXPECT_EQ(bytes(telnet_negotiation(WILL, COM)), (Octets{IAC, WILL, COM}));
}

TEST(Telnet, TheOptionTableAnswersOnlyChangesAndRefusesWhatItDoesNotTake) {
  using S = TelnetOptionState;
  TelnetOptions options;
  EXPECT_EQ(telnet_ask(options, WILL, COM).size, 3u);
  EXPECT_EQ(telnet_ask(options, DO, 0).size, 3u);
  const struct {
    const char* what;
    std::uint8_t verb, option;
    bool accepted;
    std::optional<Octets> reply;
    S ours, theirs;  // the option's state afterwards
  } steps[] = {
      {"DO answers our WILL", DO, COM, true, std::nullopt, S::On, S::Off},
      {"DO again changes nothing", DO, COM, true, std::nullopt, S::On, S::Off},
      {"WILL answers our DO", WILL, 0, true, std::nullopt, S::Off, S::On},
      {"an echoing server is refused", WILL, 1, false, Octets{IAC, DONT, 1}, S::Off, S::Off},
      {"and refused again when it asks again", WILL, 1, false, Octets{IAC, DONT, 1}, S::Off, S::Off},
      {"an unknown option is refused", DO, 99, false, Octets{IAC, WONT, 99}, S::Off, S::Off},
      {"a wanted option the server offers is taken", DO, 3, true, Octets{IAC, WILL, 3}, S::On, S::Off},
      {"DONT turns it off, answered once", DONT, 3, true, Octets{IAC, WONT, 3}, S::Off, S::Off},
      {"a DONT for what is off is not answered", DONT, 3, true, std::nullopt, S::Off, S::Off},
      {"WONT for what they do is answered", WONT, 0, true, Octets{IAC, DONT, 0}, S::Off, S::Off},
  };
  for (const auto& s : steps) {
    SCOPED_TRACE(s.what);
    const auto reply = telnet_answer(options, s.verb, s.option, s.accepted);
    EXPECT_EQ(reply ? std::optional(Octets(reply->view().begin(), reply->view().end())) : std::nullopt, s.reply);
    EXPECT_EQ(options.ours[s.option], s.ours);
    EXPECT_EQ(options.theirs[s.option], s.theirs);
  }
  TelnetOptions refused;
  telnet_ask(refused, WILL, COM);
  EXPECT_EQ(telnet_answer(refused, DONT, COM, true), std::nullopt);
  EXPECT_EQ(refused.ours[COM], S::Refused);
}

TEST(Telnet, ServerReportsAreReadOnlyWhenWellFormed) {
  const struct {
    Octets payload;
    std::optional<std::uint32_t> value;  // empty: not a report
  } cases[] = {
      {{101, 0x00, 0x01, 0xC2, 0x00}, 115200},
      {{101, 0x00, 0x01}, std::nullopt},
      {{102, 7}, 7},
      {{102}, std::nullopt},
      {{103, 1, 2}, std::nullopt},
      {{107, 0xB0}, 0xB0},
      {{108}, 0},
      {{2, 7}, std::nullopt},     // a client's code
      {{113, 1}, std::nullopt},   // no such command
      {{}, std::nullopt},
  };
  for (const auto& c : cases) {
    const auto report = rfc2217::parse_report(c.payload);
    EXPECT_EQ(report ? std::optional(report->value) : std::nullopt, c.value) << testing::PrintToString(c.payload);
  }
  const Octets signature = {100, 's', 'e', 'r'};
  const auto report = rfc2217::parse_report(signature);
  ASSERT_TRUE(report);
  EXPECT_EQ(std::string(report->text.begin(), report->text.end()), "ser");
}

}  // namespace
