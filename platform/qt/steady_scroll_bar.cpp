#include "platform/qt/steady_scroll_bar.h"

#include <QStyle>
#include <QStyleOptionSlider>

namespace platform {

void SteadyScrollBar::show_rows(int maximum, int page, int value) {
  setting_ = true;
  setRange(0, maximum);
  setPageStep(page);
  setSingleStep(1);
  setValue(value);
  setting_ = false;
  if (moved()) update();
}

void SteadyScrollBar::sliderChange(SliderChange change) {
  if (!setting_ && moved()) QScrollBar::sliderChange(change);
}

void SteadyScrollBar::resizeEvent(QResizeEvent* event) {
  shown_handle_ = QRect();  // drawn anew at the new size
  QScrollBar::resizeEvent(event);
}

bool SteadyScrollBar::moved() {
  QStyleOptionSlider option;
  initStyleOption(&option);
  const QRect handle = style()->subControlRect(QStyle::CC_ScrollBar, &option, QStyle::SC_ScrollBarSlider, this);
  // The arrows may be drawn differently at either end.
  const int ends = (value() == minimum() ? 1 : 0) | (value() == maximum() ? 2 : 0);
  if (handle == shown_handle_ && ends == shown_ends_) return false;
  shown_handle_ = handle;
  shown_ends_ = ends;
  return true;
}

}  // namespace platform
