// The character the window shows for a byte of the display's text, in one place for the window's
// painting and for whoever must show the same (the HTML log, read in a browser).
//
// A byte shows its Latin-1 character, which is the Unicode code point of the same number, except
// 0x80-0x9F: those show as Windows-1252 has them (0x80 the euro sign, 0x93 a left double quotation
// mark), as every browser shows the character references &#128;..&#159;. The five codes Windows-1252
// leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) stay C1 control codes, which, like the C0 control
// codes and DEL, have no glyph.
#pragma once

namespace platform {

char16_t shown_character(unsigned char byte);

// True when the character shown for `byte` has a glyph to draw: not a control code, not a space.
bool has_glyph(unsigned char byte);

}  // namespace platform
