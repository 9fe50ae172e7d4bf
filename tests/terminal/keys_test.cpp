// Keys against the bytes xterm sends. In application mode the reference is the xterm-256color
// terminfo entry itself (read with tput), which describes what xterm sends once a program has sent
// its keypad_xmit string; in normal mode and for characters it is xterm's documented behaviour.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>

#include "terminal/emulator.h"

namespace {

using terminal::BackspaceSends;
using terminal::Decoding;
using terminal::Emulator;
using terminal::Key;
using terminal::Modifiers;

constexpr Modifiers kNone{};
constexpr Modifiers kShift{.shift = true};
constexpr Modifiers kCtrl{.ctrl = true};
constexpr Modifiers kAlt{.alt = true};

std::string tput(const std::string& capability) {
  const std::string command = "tput -T xterm-256color " + capability;
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
  std::string out;
  for (int c; pipe && (c = fgetc(pipe.get())) != EOF;) out += static_cast<char>(c);
  return out;
}

struct TerminfoKey {
  Key key;
  Modifiers modifiers;
  const char* capability;
};

TEST(TerminalKeys, ApplicationModeSendsWhatTerminfoSaysXtermSends) {
  const TerminfoKey keys[] = {
      {Key::Up, kNone, "kcuu1"},     {Key::Down, kNone, "kcud1"},    {Key::Right, kNone, "kcuf1"},
      {Key::Left, kNone, "kcub1"},   {Key::Home, kNone, "khome"},    {Key::End, kNone, "kend"},
      {Key::Insert, kNone, "kich1"}, {Key::Delete, kNone, "kdch1"},  {Key::PageUp, kNone, "kpp"},
      {Key::PageDown, kNone, "knp"}, {Key::F1, kNone, "kf1"},        {Key::F4, kNone, "kf4"},
      {Key::F5, kNone, "kf5"},       {Key::F10, kNone, "kf10"},      {Key::F12, kNone, "kf12"},
      {Key::F1, kShift, "kf13"},     {Key::F5, kShift, "kf17"},      {Key::F1, kCtrl, "kf25"},
      {Key::Up, kShift, "kri"},      {Key::Up, kCtrl, "kUP5"},       {Key::Left, kAlt, "kLFT3"},
      {Key::Home, kCtrl, "kHOM5"},   {Key::Delete, kCtrl, "kDC5"},   {Key::Tab, kShift, "kcbt"},
      {Key::Backspace, kNone, "kbs"}, {Key::KeypadEnter, kNone, "kent"},
  };
  Emulator emulator;
  emulator.feed(tput("smkx"));
  for (const TerminfoKey& k : keys)
    EXPECT_EQ(emulator.key(k.key, k.modifiers), tput(k.capability)) << k.capability;
}

struct Case {
  Key key;
  Modifiers modifiers;
  std::string_view bytes;
};

TEST(TerminalKeys, NormalModeSendsXtermsBytes) {
  const Case cases[] = {
      {Key::Up, kNone, "\x1b[A"},         {Key::Left, kNone, "\x1b[D"},     {Key::Home, kNone, "\x1b[H"},
      {Key::End, kNone, "\x1b[F"},        {Key::Up, kCtrl, "\x1b[1;5A"},    {Key::F1, kNone, "\x1bOP"},
      {Key::F12, kAlt, "\x1b[24;3~"},     {Key::Enter, kNone, "\r"},        {Key::Enter, kCtrl, "\r"},
      {Key::Enter, kAlt, "\x1b\r"},       {Key::Tab, kNone, "\t"},          {Key::Tab, kCtrl, "\t"},
      {Key::Tab, kAlt, "\x1b\t"},         {Key::Escape, kNone, "\x1b"},     {Key::Escape, kShift, "\x1b"},
      {Key::Escape, kAlt, "\x1b\x1b"},    {Key::Backspace, kNone, "\x7f"},  {Key::Backspace, kShift, "\x7f"},
      {Key::Backspace, kCtrl, "\b"},      {Key::Backspace, kAlt, "\x1b\x7f"}, {Key::Keypad5, kNone, "5"},
      {Key::KeypadPlus, kAlt, "\x1b+"},   {Key::KeypadEnter, kNone, "\r"},
  };
  Emulator emulator;
  for (const Case& c : cases) EXPECT_EQ(emulator.key(c.key, c.modifiers), c.bytes) << static_cast<int>(c.key);
}

TEST(TerminalKeys, ModesTheFarEndSetsChangeTheKeys) {
  Emulator emulator;
  emulator.feed("\x1b[?1h");  // application cursor keys only
  EXPECT_EQ(emulator.key(Key::Up), "\x1bOA");
  EXPECT_EQ(emulator.key(Key::Keypad5), "5");
  emulator.feed("\x1b=");  // and the application keypad
  EXPECT_EQ(emulator.key(Key::Keypad5), "\x1bOu");
  emulator.feed("\x1b[?1l\x1b>\x1b[20h");  // back to normal, and newline mode
  EXPECT_EQ(emulator.key(Key::Up), "\x1b[A");
  EXPECT_EQ(emulator.key(Key::Enter), "\r\n");
  EXPECT_EQ(emulator.key(Key::KeypadEnter), "\r\n");
}

TEST(TerminalKeys, BackspaceSettingSwapsDelAndBs) {
  Emulator emulator({.backspace = BackspaceSends::Backspace});
  EXPECT_EQ(emulator.key(Key::Backspace), "\b");
  EXPECT_EQ(emulator.key(Key::Backspace, kCtrl), "\x7f");
  emulator.set_backspace(BackspaceSends::Delete);
  EXPECT_EQ(emulator.key(Key::Backspace), "\x7f");
}

struct CharacterCase {
  char32_t c;
  Modifiers modifiers;
  std::string_view bytes;
};

TEST(TerminalKeys, CharactersWithCtrlAndAltAsXlibMakesThemForXterm) {
  const CharacterCase cases[] = {
      {U'a', kNone, "a"},       {U'A', kShift, "A"},        {U'a', kCtrl, "\x01"},  {U'A', kCtrl, "\x01"},
      {U'h', kCtrl, "\b"},      {U'm', kCtrl, "\r"},        {U'[', kCtrl, "\x1b"},  {U'3', kCtrl, "\x1b"},
      {U' ', kCtrl, {"\0", 1}}, {U'2', kCtrl, {"\0", 1}},   {U'@', kCtrl, {"\0", 1}}, {U'\\', kCtrl, "\x1c"},
      {U'7', kCtrl, "\x1f"},    {U'/', kCtrl, "\x1f"},      {U'8', kCtrl, "\x7f"},  {U'?', kCtrl, "?"},
      {U'1', kCtrl, "1"},       {U'x', kAlt, "\x1bx"},      {U'c', {.ctrl = true, .alt = true}, "\x1b\x03"},
      {U'é', kNone, "\xc3\xa9"}, {U'中', kAlt, "\x1b\xe4\xb8\xad"},
  };
  Emulator emulator;
  for (const CharacterCase& c : cases)
    EXPECT_EQ(emulator.character(c.c, c.modifiers), c.bytes) << static_cast<std::uint32_t>(c.c);
}

TEST(TerminalKeys, Latin1TerminalSendsLatin1Characters) {
  Emulator emulator({.decoding = Decoding::Latin1});
  EXPECT_EQ(emulator.character(U'é'), "\xe9");
  EXPECT_EQ(emulator.character(U'€'), "?");
}

}  // namespace
