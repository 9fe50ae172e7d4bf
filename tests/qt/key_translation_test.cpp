// Qt's keys as the display surface takes them: one table of keys, modifiers and event texts.
#include <gtest/gtest.h>

#include "platform/display_surface.h"
#include "platform/qt/key_translation.h"

namespace {

using platform::KeyStroke;
using platform::translate_key;

TEST(KeyTranslation, EachKeyGivesItsCodeAndCharacter) {
  struct Case {
    const char* name;
    int key;
    bool control;
    QString text;
    KeyStroke expected;
  };
  const Case cases[] = {
      {"letter", Qt::Key_A, false, "a", {platform::VK_KEY_A, 'a'}},
      {"capital", Qt::Key_Z, false, "Z", {platform::VK_KEY_A + 25, 'Z'}},
      {"digit", Qt::Key_1, false, "1", {0, '1'}},
      {"Space", Qt::Key_Space, false, " ", {0x20, ' '}},
      {"Enter", Qt::Key_Return, false, "\r", {platform::VK_RETURN, 0x0D}},
      {"keypad Enter", Qt::Key_Enter, false, "\r", {platform::VK_RETURN, 0x0D}},
      {"Backspace", Qt::Key_Backspace, false, "\b", {platform::VK_BACK, 0x08}},
      {"Shift+Tab", Qt::Key_Backtab, false, "", {platform::VK_TAB, 0x09}},
      {"Escape types nothing", Qt::Key_Escape, false, "\x1b", {platform::VK_ESCAPE, -1}},
      {"Delete types no DEL", Qt::Key_Delete, false, "\x7f", {platform::VK_DELETE, -1}},
      {"Ctrl+Enter is Enter", Qt::Key_Return, true, "", {platform::VK_RETURN, 0x0D}},
      {"Ctrl+letter from the key", Qt::Key_C, true, "c", {platform::VK_KEY_A + 2, 0x03}},
      {"Ctrl+letter without text", Qt::Key_Z, true, "", {platform::VK_KEY_A + 25, 0x1A}},
      {"Ctrl+@", Qt::Key_At, true, "", {0, 0x00}},
      {"Ctrl+[", Qt::Key_BracketLeft, true, "", {0, 0x1B}},
      {"Ctrl+_", Qt::Key_Underscore, true, "", {0, 0x1F}},
      {"Ctrl+digit types nothing", Qt::Key_1, true, "1", {0, -1}},
      {"[ without Ctrl", Qt::Key_BracketLeft, false, "[", {0, '['}},
      {"last of Latin-1", Qt::Key_ydiaeresis, false, QString(QChar(0xFF)), {0, 0xFF}},
      {"beyond Latin-1", Qt::Key_unknown, false, QString(QChar(0x20AC)), {0, -1}},
      {"first Latin-1 character of a composed text", Qt::Key_unknown, false, QString(QChar(0x20AC)) + "e", {0, 'e'}},
      {"DEL in the text", Qt::Key_unknown, false, "\x7f", {0, -1}},
      {"a key with no text", Qt::Key_F5, false, "", {0, -1}},
  };
  for (const Case& c : cases) {
    const KeyStroke got = translate_key(c.key, c.control, c.text);
    EXPECT_EQ(got.vk, c.expected.vk) << c.name;
    EXPECT_EQ(got.ch, c.expected.ch) << c.name;
  }
}

}  // namespace
