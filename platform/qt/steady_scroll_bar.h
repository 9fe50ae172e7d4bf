// A vertical scroll bar for a text that grows at the bottom (the trace, the terminal's scrollback):
// its range changes with every line added, while its handle, already at its shortest, stays where
// it is, so it repaints only when what it shows changes. Repainting it every tick would cost the
// window more than the text beside it (Qt's style draws its lines through a thread pool).
#pragma once

#include <QRect>
#include <QScrollBar>

namespace platform {

class SteadyScrollBar final : public QScrollBar {
 public:
  explicit SteadyScrollBar(QWidget* parent) : QScrollBar(Qt::Vertical, parent) {}

  // Range, page and value at once: the handle is judged in its final place only.
  void show_rows(int maximum, int page, int value);

 protected:
  void sliderChange(SliderChange change) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  bool moved();

  bool setting_ = false;
  QRect shown_handle_;
  int shown_ends_ = -1;
};

}  // namespace platform
