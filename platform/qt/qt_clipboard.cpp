#include "platform/qt/qt_clipboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QString>

namespace platform {

void QtClipboard::set_text(std::string_view text) {
  QGuiApplication::clipboard()->setText(
      QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())));
}

std::string QtClipboard::text() {
  const QString pasted = QGuiApplication::clipboard()->text();
  std::string bytes;
  bytes.reserve(static_cast<std::size_t>(pasted.size()));
  for (qsizetype i = 0; i < pasted.size(); ++i) {
    const char16_t unit = pasted[i].unicode();
    if (unit == u'\r') {
      // Text copied from other programs often ends its lines with CR LF; the display's line end
      // is one LF, and a CR would otherwise stand in the row as a blank cell.
      if (i + 1 < pasted.size() && pasted[i + 1] == u'\n') continue;
      bytes += '\n';
    } else if (unit <= 0xFF) {
      bytes += static_cast<char>(unit);
    }
  }
  return bytes;
}

}  // namespace platform
