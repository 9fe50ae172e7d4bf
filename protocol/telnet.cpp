#include "protocol/telnet.h"

#include <cstring>

namespace protocol {

namespace {

using Phase = TelnetDecoder::Phase;

constexpr std::uint8_t kFirstBareCommand = 241;  // NOP
constexpr std::uint8_t kLastBareCommand = 249;   // GA

bool is_verb(std::uint8_t byte) { return byte >= kTelnetWill && byte <= kTelnetDont; }

TelnetEvent malformed() { return {TelnetEventKind::Malformed, 0, 0, {}}; }

// Data up to the next IAC, in one copy, as much as the output holds.
void copy_data(std::span<const std::uint8_t> in, std::span<std::uint8_t> out, TelnetStep& step) {
  const std::span<const std::uint8_t> rest = in.subspan(step.used);
  const void* iac = std::memchr(rest.data(), kTelnetIac, rest.size());
  const std::size_t run =
      iac == nullptr ? rest.size() : static_cast<std::size_t>(static_cast<const std::uint8_t*>(iac) - rest.data());
  const std::size_t room = out.size() - step.written;
  const std::size_t taken = run < room ? run : room;
  // memmove: decoding in place copies a run onto itself or further back.
  if (taken > 0) std::memmove(out.data() + step.written, rest.data(), taken);
  step.used += taken;
  step.written += taken;
}

void keep_sub_byte(TelnetDecoder& state, std::uint8_t byte) {
  if (state.sub_size < state.sub.size())
    state.sub[state.sub_size++] = byte;
  else
    state.sub_overflow = true;
}

void start_sub(TelnetDecoder& state) {
  state.phase = Phase::Sub;
  state.sub_size = 0;
  state.sub_overflow = false;
}

// The byte after an IAC in the data.
TelnetEvent after_iac(TelnetDecoder& state, std::uint8_t byte, std::span<std::uint8_t> out, TelnetStep& step) {
  state.phase = Phase::Data;
  if (byte == kTelnetIac) {
    out[step.written++] = kTelnetIac;
    return {};
  }
  if (is_verb(byte)) {
    state.phase = Phase::Option;
    state.verb = byte;
    return {};
  }
  if (byte == kTelnetSb) {
    start_sub(state);
    return {};
  }
  if (byte >= kFirstBareCommand && byte <= kLastBareCommand) return {TelnetEventKind::Command, byte, 0, {}};
  return malformed();
}

// The byte after an IAC inside a sub-negotiation: a doubled 0xFF, its end, or a command that cuts
// it short (left unread, to be decoded as a command of its own).
TelnetEvent after_sub_iac(TelnetDecoder& state, std::uint8_t byte, TelnetStep& step) {
  if (byte == kTelnetIac) {
    state.phase = Phase::Sub;
    keep_sub_byte(state, byte);
    return {};
  }
  if (byte != kTelnetSe) {
    state.phase = Phase::Command;
    --step.used;
    return malformed();
  }
  state.phase = Phase::Data;
  if (state.sub_size == 0 || state.sub_overflow) return malformed();
  return {TelnetEventKind::Subnegotiation, 0, state.sub[0],
          std::span<const std::uint8_t>(state.sub).subspan(1, state.sub_size - 1)};
}

// One byte of a command; an event when the command is complete.
TelnetEvent command_byte(TelnetDecoder& state, std::uint8_t byte, std::span<std::uint8_t> out, TelnetStep& step) {
  switch (state.phase) {
    case Phase::Data:
      state.phase = Phase::Command;
      return {};
    case Phase::Command: return after_iac(state, byte, out, step);
    case Phase::Option:
      state.phase = Phase::Data;
      return {TelnetEventKind::Negotiation, state.verb, byte, {}};
    case Phase::Sub:
      if (byte == kTelnetIac)
        state.phase = Phase::SubCommand;
      else
        keep_sub_byte(state, byte);
      return {};
    case Phase::SubCommand: return after_sub_iac(state, byte, step);
  }
  return {};
}

}  // namespace

TelnetStep telnet_decode(TelnetDecoder& state, std::span<const std::uint8_t> in, std::span<std::uint8_t> out) {
  TelnetStep step;
  while (step.used < in.size()) {
    if (state.phase == Phase::Data && in[step.used] != kTelnetIac) {
      if (step.written == out.size()) break;
      copy_data(in, out, step);
      continue;
    }
    // A doubled IAC becomes a data byte, which needs room.
    if (state.phase == Phase::Command && in[step.used] == kTelnetIac && step.written == out.size()) break;
    const std::uint8_t byte = in[step.used++];
    step.event = command_byte(state, byte, out, step);
    if (step.event.kind != TelnetEventKind::None) break;
  }
  return step;
}

TelnetEscaped telnet_escape(std::span<const std::uint8_t> in, std::span<std::uint8_t> out) {
  TelnetEscaped done;
  for (; done.used < in.size(); ++done.used) {
    const std::uint8_t byte = in[done.used];
    const std::size_t need = byte == kTelnetIac ? 2 : 1;
    if (out.size() - done.written < need) break;
    out[done.written++] = byte;
    if (byte == kTelnetIac) out[done.written++] = byte;
  }
  return done;
}

TelnetMessage telnet_negotiation(std::uint8_t verb, std::uint8_t option) {
  TelnetMessage message;
  message.bytes = {kTelnetIac, verb, option};
  message.size = 3;
  return message;
}

TelnetMessage com_port_command(std::uint8_t command, std::span<const std::uint8_t> value) {
  TelnetMessage message;
  auto& b = message.bytes;
  std::size_t n = 0;
  for (const std::uint8_t byte : {kTelnetIac, kTelnetSb, kTelnetComPortOption, command}) b[n++] = byte;
  // Four value bytes, each doubled at worst, and the closing two fit the message's sixteen.
  const std::span<const std::uint8_t> kept = value.first(value.size() < 4 ? value.size() : 4);
  n += telnet_escape(kept, std::span(b).subspan(n, 8)).written;
  b[n++] = kTelnetIac;
  b[n++] = kTelnetSe;
  message.size = n;
  return message;
}

TelnetMessage com_port_byte(std::uint8_t command, std::uint8_t value) {
  const std::uint8_t bytes[] = {value};
  return com_port_command(command, bytes);
}

TelnetMessage com_port_baud(std::uint32_t rate) {
  const std::uint8_t bytes[] = {static_cast<std::uint8_t>(rate >> 24), static_cast<std::uint8_t>(rate >> 16),
                                static_cast<std::uint8_t>(rate >> 8), static_cast<std::uint8_t>(rate)};
  return com_port_command(rfc2217::kSetBaudRate, bytes);
}

namespace {

// The verb that says "yes" or "no" for the side a request concerns: WILL/WONT for ours, DO/DONT for
// theirs.
std::uint8_t reply_verb(bool ours, bool yes) {
  if (ours) return yes ? kTelnetWill : kTelnetWont;
  return yes ? kTelnetDo : kTelnetDont;
}

// A request to turn the option on (DO for ours, WILL for theirs).
std::optional<TelnetMessage> enable_requested(TelnetOptionState& state, bool ours, std::uint8_t option,
                                              bool accepted) {
  using S = TelnetOptionState;
  if (state == S::On) return std::nullopt;
  if (state == S::Asked) {
    state = accepted ? S::On : S::Refused;
    // An answer to our own request is not answered, unless we no longer accept it.
    return accepted ? std::nullopt : std::optional(telnet_negotiation(reply_verb(ours, false), option));
  }
  if (accepted) state = S::On;
  return telnet_negotiation(reply_verb(ours, accepted), option);
}

// A request, or an answer, to keep the option off (DONT for ours, WONT for theirs).
std::optional<TelnetMessage> disable_requested(TelnetOptionState& state, bool ours, std::uint8_t option) {
  using S = TelnetOptionState;
  const S was = state;
  if (was == S::Asked) state = S::Refused;
  if (was != S::On) return std::nullopt;
  state = S::Off;
  return telnet_negotiation(reply_verb(ours, false), option);
}

}  // namespace

TelnetMessage telnet_ask(TelnetOptions& options, std::uint8_t verb, std::uint8_t option) {
  const bool ours = verb == kTelnetWill;
  (ours ? options.ours : options.theirs)[option] = TelnetOptionState::Asked;
  return telnet_negotiation(verb, option);
}

std::optional<TelnetMessage> telnet_answer(TelnetOptions& options, std::uint8_t verb, std::uint8_t option,
                                           bool accepted) {
  // DO and DONT are about what the client does; WILL and WONT about what the server does.
  const bool ours = verb == kTelnetDo || verb == kTelnetDont;
  TelnetOptionState& state = (ours ? options.ours : options.theirs)[option];
  if (verb == kTelnetDo || verb == kTelnetWill) return enable_requested(state, ours, option, accepted);
  if (verb == kTelnetDont || verb == kTelnetWont) return disable_requested(state, ours, option);
  return std::nullopt;
}

namespace rfc2217 {

std::optional<Report> parse_report(std::span<const std::uint8_t> payload) {
  if (payload.empty() || payload[0] < kServerOffset) return std::nullopt;
  Report report;
  report.command = static_cast<std::uint8_t>(payload[0] - kServerOffset);
  const std::span<const std::uint8_t> value = payload.subspan(1);
  if (report.command == kSignature) {
    report.text = value;
    return report;
  }
  if (report.command > kPurgeData) return std::nullopt;
  if (report.command == kSetBaudRate) {
    if (value.size() != 4) return std::nullopt;
    report.value = (std::uint32_t{value[0]} << 24) | (std::uint32_t{value[1]} << 16) |
                   (std::uint32_t{value[2]} << 8) | value[3];
    return report;
  }
  // Suspend and resume carry no value.
  const bool bare = report.command == kFlowControlSuspend || report.command == kFlowControlResume;
  if (value.size() != (bare ? 0u : 1u)) return std::nullopt;
  report.value = bare ? 0 : value[0];
  return report;
}

}  // namespace rfc2217

}  // namespace protocol
