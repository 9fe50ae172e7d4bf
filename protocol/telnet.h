// Telnet (RFC 854, 855) as the client of a serial port server speaks it, with the COM-PORT-OPTION of
// RFC 2217: a decoder that takes the server's stream apart into data and commands, a table that
// answers the server's option requests, and the builders of what the client sends.
//
// How it works
//   In the stream 0xFF (IAC) starts a command, so a data byte 0xFF travels doubled. IAC WILL, WONT,
//   DO or DONT and an option negotiate that option; IAC SB, an option, its bytes (0xFF doubled
//   again) and IAC SE are a sub-negotiation; IAC and a byte from 0xF1 to 0xF9 is a bare command.
//   The decoder is a state machine whose state (TelnetDecoder) the caller keeps between reads, so a
//   command cut by a read boundary is finished by the next read. A call decodes until it meets a
//   command to report, its output is full or its input is used up, and says how far it got. Data
//   goes to the output, which may be the input itself: decoding never writes ahead of reading.
//   A sub-negotiation keeps at most kTelnetSubMax bytes. One that is longer, empty, or cut short by
//   another command, IAC before a byte that is no command, and SE outside a sub-negotiation are
//   reported as Malformed and dropped: no byte of a command ever comes out as data.
//
//   Options follow RFC 1143's rule: a request is answered only when it changes an option's state,
//   and an answer to the client's own request is not answered again, so two ends never loop.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace protocol {

inline constexpr std::uint8_t kTelnetIac = 255;
inline constexpr std::uint8_t kTelnetDont = 254;
inline constexpr std::uint8_t kTelnetDo = 253;
inline constexpr std::uint8_t kTelnetWont = 252;
inline constexpr std::uint8_t kTelnetWill = 251;
inline constexpr std::uint8_t kTelnetSb = 250;
inline constexpr std::uint8_t kTelnetNop = 241;
inline constexpr std::uint8_t kTelnetSe = 240;

inline constexpr std::uint8_t kTelnetBinary = 0;
inline constexpr std::uint8_t kTelnetEcho = 1;
inline constexpr std::uint8_t kTelnetSuppressGoAhead = 3;
inline constexpr std::uint8_t kTelnetComPortOption = 44;

// The most sub-negotiation bytes (option byte included) the decoder keeps: RFC 2217's longest
// report is a signature, which a server keeps short.
inline constexpr std::size_t kTelnetSubMax = 128;

enum class TelnetEventKind : std::uint8_t { None, Command, Negotiation, Subnegotiation, Malformed };

struct TelnetEvent {
  TelnetEventKind kind = TelnetEventKind::None;
  std::uint8_t code = 0;    // Command: its byte; Negotiation: WILL, WONT, DO or DONT
  std::uint8_t option = 0;  // Negotiation and Subnegotiation
  std::span<const std::uint8_t> payload;  // Subnegotiation: the bytes after the option, undoubled;
                                          // valid until the next call with the same state
};

struct TelnetDecoder {
  enum class Phase : std::uint8_t { Data, Command, Option, Sub, SubCommand };
  Phase phase = Phase::Data;
  std::uint8_t verb = 0;
  std::array<std::uint8_t, kTelnetSubMax> sub{};
  std::size_t sub_size = 0;
  bool sub_overflow = false;
};

struct TelnetStep {
  std::size_t used = 0;     // input bytes taken
  std::size_t written = 0;  // data bytes written to the output
  TelnetEvent event;        // None when the input was used up or the output is full
};

TelnetStep telnet_decode(TelnetDecoder& state, std::span<const std::uint8_t> in, std::span<std::uint8_t> out);

// Copies `in` to `out` with every 0xFF doubled, as far as `out` has room.
struct TelnetEscaped {
  std::size_t used = 0;
  std::size_t written = 0;
};
TelnetEscaped telnet_escape(std::span<const std::uint8_t> in, std::span<std::uint8_t> out);

// One command the client sends.
struct TelnetMessage {
  std::array<std::uint8_t, 16> bytes{};
  std::size_t size = 0;
  std::span<const std::uint8_t> view() const { return std::span(bytes).first(size); }
};

TelnetMessage telnet_negotiation(std::uint8_t verb, std::uint8_t option);
// IAC SB COM-PORT-OPTION `command` `value` IAC SE; a value holds at most 4 bytes.
TelnetMessage com_port_command(std::uint8_t command, std::span<const std::uint8_t> value);
TelnetMessage com_port_byte(std::uint8_t command, std::uint8_t value);
TelnetMessage com_port_baud(std::uint32_t rate);  // 0 asks for the rate in effect

// Where an option stands on one side of the connection.
enum class TelnetOptionState : std::uint8_t { Off, On, Asked, Refused };

struct TelnetOptions {
  std::array<TelnetOptionState, 256> ours{};    // what the client does (DO/DONT from the server)
  std::array<TelnetOptionState, 256> theirs{};  // what the server does (WILL/WONT from it)
};

// Asks the server for an option: WILL (the client's side) or DO (the server's side).
TelnetMessage telnet_ask(TelnetOptions& options, std::uint8_t verb, std::uint8_t option);

// Answers the server's WILL, WONT, DO or DONT about `option`; `accepted` says whether the client
// lets that option be on for the side it concerns. Empty when nothing is to be sent.
std::optional<TelnetMessage> telnet_answer(TelnetOptions& options, std::uint8_t verb, std::uint8_t option,
                                           bool accepted);

// RFC 2217's commands as the client sends them; a server reports with the code plus 100.
namespace rfc2217 {
inline constexpr std::uint8_t kSignature = 0;
inline constexpr std::uint8_t kSetBaudRate = 1;
inline constexpr std::uint8_t kSetDataSize = 2;
inline constexpr std::uint8_t kSetParity = 3;
inline constexpr std::uint8_t kSetStopSize = 4;
inline constexpr std::uint8_t kSetControl = 5;
inline constexpr std::uint8_t kNotifyLineState = 6;
inline constexpr std::uint8_t kNotifyModemState = 7;
inline constexpr std::uint8_t kFlowControlSuspend = 8;
inline constexpr std::uint8_t kFlowControlResume = 9;
inline constexpr std::uint8_t kSetLineStateMask = 10;
inline constexpr std::uint8_t kSetModemStateMask = 11;
inline constexpr std::uint8_t kPurgeData = 12;
inline constexpr std::uint8_t kServerOffset = 100;

// Values of SET-PARITY (1 none .. 5 space) and SET-STOPSIZE.
inline constexpr std::uint8_t kParityNone = 1;
inline constexpr std::uint8_t kStopOne = 1;
inline constexpr std::uint8_t kStopTwo = 2;
inline constexpr std::uint8_t kStopOneAndHalf = 3;

// Values of SET-CONTROL.
inline constexpr std::uint8_t kFlowNone = 1;
inline constexpr std::uint8_t kFlowXonXoff = 2;
inline constexpr std::uint8_t kFlowHardware = 3;
inline constexpr std::uint8_t kBreakOn = 5;
inline constexpr std::uint8_t kBreakOff = 6;
inline constexpr std::uint8_t kDtrOn = 8;
inline constexpr std::uint8_t kDtrOff = 9;
inline constexpr std::uint8_t kRtsOn = 11;
inline constexpr std::uint8_t kRtsOff = 12;

inline constexpr std::uint8_t kPurgeReceive = 1;

// NOTIFY-LINESTATE bits that tell of a receive error; NOTIFY-MODEMSTATE's upper four bits are the
// input lines CTS, DSR, RI and DCD.
inline constexpr std::uint8_t kLineOverrun = 0x02;
inline constexpr std::uint8_t kLineParity = 0x04;
inline constexpr std::uint8_t kLineFraming = 0x08;
inline constexpr std::uint8_t kLineBreak = 0x10;
inline constexpr std::uint8_t kModemLines = 0xF0;

// A server's report: a sub-negotiation of the COM-PORT-OPTION (the bytes after the option).
struct Report {
  std::uint8_t command = 0;  // the client's code it answers (the server's code less 100)
  std::uint32_t value = 0;   // the rate, or the one-byte value; 0 for a signature
  std::span<const std::uint8_t> text;  // a signature's text
};
// Empty for anything that is not a well-formed report: a client's code, a baud rate not four
// bytes long, a one-byte command with no byte or more than one.
std::optional<Report> parse_report(std::span<const std::uint8_t> payload);
}  // namespace rfc2217

}  // namespace protocol
