#include "platform/qt/status_line.h"

#include <QResizeEvent>

namespace platform {
namespace {

// A path shortened below this many pixels' worth of characters says nothing any more.
constexpr int kShortestPathChars = 12;

// A ':' that ends a word ("/dev/ttyUSB0: the device ...") is not part of the path before it.
bool ends_path_at_colon(const QString& text, qsizetype at) {
  return text[at] == u':' && (at + 1 == text.size() || text[at + 1] == u' ');
}

// Where the longest path in `text` starts and how long it is: a word that begins with '/' at the
// start or after a blank, up to a blank or a ':' before one. Length 0 when there is none.
std::pair<qsizetype, qsizetype> longest_path(const QString& text) {
  std::pair<qsizetype, qsizetype> longest{0, 0};
  for (qsizetype start = 0; start < text.size(); ++start) {
    if (text[start] != u'/' || (start > 0 && text[start - 1] != u' ')) continue;
    qsizetype end = start;
    while (end < text.size() && text[end] != u' ' && !ends_path_at_colon(text, end)) ++end;
    if (end - start > longest.second) longest = {start, end - start};
  }
  return longest;
}

}  // namespace

QString fit_status(const QString& text, const QFontMetrics& metrics, int width) {
  if (metrics.horizontalAdvance(text) <= width) return text;
  QString shown = text;
  if (const auto [start, length] = longest_path(text); length > 0) {
    const QString path = text.mid(start, length);
    const int rest = metrics.horizontalAdvance(text) - metrics.horizontalAdvance(path);
    const int room = std::max(width - rest, metrics.averageCharWidth() * kShortestPathChars);
    shown = text.left(start) + metrics.elidedText(path, Qt::ElideMiddle, room) + text.mid(start + length);
  }
  return metrics.elidedText(shown, Qt::ElideRight, width);
}

StatusLine::StatusLine(Qt::Alignment alignment, QWidget* parent) : QLabel(parent) {
  // Status texts (file names among them) are shown as they are, never as markup.
  setTextFormat(Qt::PlainText);
  setAlignment(alignment);
  setFrameStyle(QFrame::Panel | QFrame::Sunken);
  setIndent(2);
}

void StatusLine::set_full_text(const QString& text) {
  full_ = text;
  fit();
}

void StatusLine::resizeEvent(QResizeEvent* event) {
  QLabel::resizeEvent(event);
  fit();
}

void StatusLine::fit() {
  const QString shown = fit_status(full_, fontMetrics(), contentsRect().width() - 2 * std::max(0, indent()));
  setText(shown);
  setToolTip(shown == full_ ? QString() : full_);
}

}  // namespace platform
