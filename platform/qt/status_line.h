// The dialog's status and progress lines: one line of text in a sunken panel, never cut off at its
// start. A text wider than the line first has a path in it shortened in the middle
// ("/dev/serial/by-id/usb-FTDI…-port0"), which keeps what the text says about it, and only then
// gives way at its end ("…"). The whole text stays the line's text and shows in its hint.
#pragma once

#include <QFontMetrics>
#include <QLabel>
#include <QString>

namespace platform {

// `text` as it fits in `width` pixels of `metrics`' font, by the rules above.
QString fit_status(const QString& text, const QFontMetrics& metrics, int width);

class StatusLine final : public QLabel {
 public:
  StatusLine(Qt::Alignment alignment, QWidget* parent);

  void set_full_text(const QString& text);
  const QString& full_text() const { return full_; }

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  void fit();

  QString full_;
};

}  // namespace platform
