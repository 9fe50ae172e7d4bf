#include "platform/qt/screen_widget.h"

#include <QFocusEvent>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QWheelEvent>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <string>

#include "platform/qt/key_translation.h"
#include "platform/qt/steady_scroll_bar.h"
#include "platform/shown_character.h"

namespace platform {
namespace {

constexpr int kMinPixelSize = 6;
constexpr int kMaxPixelSize = 72;
constexpr int kMargin = 2;          // between the frame and the grid
constexpr int kCaretWidth = 2;
constexpr int kWheelRows = 3;       // rows a wheel notch scrolls
constexpr int kWheelNotch = 120;    // eighths of a degree
constexpr int kFillBand = 32;       // lines

QRgb to_qrgb(Colour colour) {  // from 0x00BBGGRR
  return qRgb(static_cast<int>(colour & 0xFF), static_cast<int>((colour >> 8) & 0xFF),
              static_cast<int>((colour >> 16) & 0xFF));
}

// Copies `count` pixels, and up to kCopySlack more: in blocks of a fixed size a cell a few pixels
// wide is a handful of moves instead of a call. The pixels after a cell are its right neighbour's,
// drawn after it, or the slack past the end of an image's line.
constexpr int kCopySlack = 3;

void copy_pixels(uchar* to, const uchar* from, int count) {
  constexpr int kBlock = kCopySlack + 1;
  for (int done = 0; done < count; done += kBlock, to += kBlock * 4, from += kBlock * 4)
    std::memcpy(to, from, kBlock * 4);
}

bool is_word_char(unsigned char byte) { return has_glyph(byte) && byte != 0xA0; }

}  // namespace

ScreenWidget::ScreenWidget(DisplaySurface& surface, QWidget* parent)
    : QFrame(parent), surface_(surface), scroll_bar_(new SteadyScrollBar(this)) {
  setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
  setFocusPolicy(Qt::StrongFocus);
  setAttribute(Qt::WA_OpaquePaintEvent);
  setCursor(Qt::IBeamCursor);
  scroll_bar_->setFocusPolicy(Qt::NoFocus);
  scroll_bar_->setCursor(Qt::ArrowCursor);
  connect(scroll_bar_, &QScrollBar::valueChanged, this, [this](int value) {
    scroll_to(value);
    refresh();
  });
  surface_.set_clipboard(&clipboard_);
  seen_revision_ = surface_.revision();
  sync_scroll_bar();
  fit_font();
}

ScreenWidget::~ScreenWidget() { surface_.set_clipboard(nullptr); }

void ScreenWidget::refresh() {
  const std::uint64_t revision = surface_.revision();
  if (revision == seen_revision_) return;
  seen_revision_ = revision;
  sync_scroll_bar();
  // A trace growing below the rows on screen (the user keeps a selection in view) changes nothing
  // shown. Otherwise the text only: the scroll bar beside it repaints itself when it changes.
  if (!page_unchanged()) update(grid_rect().intersected(text_background()));
}

// The bar's value is the top painted row; the handle spans the painted rows.
void ScreenWidget::sync_scroll_bar() {
  const QSignalBlocker quiet(scroll_bar_);  // setting it from the model is not a user's scroll
  const int highest = std::max(0, surface_.line_count() - 1 - rows_above_page());
  static_cast<SteadyScrollBar*>(scroll_bar_)->show_rows(highest, painted_rows_ - 1, top_row());
}

int ScreenWidget::top_row() const { return std::max(0, surface_.first_visible_line() - rows_above_page()); }

// The model's view is its first visible row: the rows above the page come before it.
void ScreenWidget::scroll_to(int top) {
  const int highest = std::max(0, surface_.line_count() - 1 - rows_above_page());
  surface_.line_scroll(std::clamp(top, 0, highest) + rows_above_page() - surface_.first_visible_line());
}

QRect ScreenWidget::text_area() const { return text_area(size()); }

QRect ScreenWidget::text_area(QSize size) const {
  const int inset = frameWidth() + kMargin;
  QRect area = QRect(QPoint(0, 0), size).adjusted(inset, inset, -inset, -inset);
  area.setRight(area.right() - scroll_bar_->sizeHint().width());
  return area;
}

void ScreenWidget::fit_font() {
  const QSize smallest = minimumSize();
  const QRect area = text_area(smallest.isEmpty() ? size() : smallest);
  QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  font.setStyleHint(QFont::TypeWriter);
  font.setFixedPitch(true);
  // The largest size whose 80 columns and painted rows fit; below the smallest the grid is cut.
  int chosen = kMinPixelSize;
  for (int size = kMaxPixelSize; size > kMinPixelSize; --size) {
    font.setPixelSize(size);
    const QFontMetrics metrics(font);
    if (metrics.horizontalAdvance(QLatin1Char('M')) * kDisplayColumns <= area.width() &&
        metrics.height() * kPaintedRows <= area.height()) {
      chosen = size;
      break;
    }
  }
  font.setPixelSize(chosen);
  const QFontMetrics metrics(font);
  font_ = font;
  // The rows share out the height the font leaves over, so the grid fills the box at its smallest.
  const int row_height = std::max(metrics.height(), area.height() / kPaintedRows);
  cell_ = QSize(std::max(1, metrics.horizontalAdvance(QLatin1Char('M'))), std::max(1, row_height));
  baseline_ = (row_height - metrics.height()) / 2 + metrics.ascent();
  painted_rows_ = std::max(kPaintedRows, text_area().height() / cell_.height());
  set_up_page();
}

// The page image has the screen's own pixels, so that painting it is a plain copy. Cells are
// placed at the nearest device pixel of their place in the grid: at a fractional ratio some are a
// pixel narrower than others, and the grid still lines up with the mouse and the caret.
void ScreenWidget::set_up_page() {
  const qreal ratio = devicePixelRatioF();
  page_ratio_ = ratio;
  for (int column = 0; column <= kGridColumns; ++column)
    column_edges_[static_cast<std::size_t>(column)] = qRound(column * cell_.width() * ratio);
  row_edges_.resize(static_cast<std::size_t>(painted_rows_) + 1);
  for (int row = 0; row <= painted_rows_; ++row)
    row_edges_[static_cast<std::size_t>(row)] = qRound(row * cell_.height() * ratio);
  rows_.assign(static_cast<std::size_t>(painted_rows_), RowPaint{});
  page_ = QImage(column_edges_.back() + kCopySlack, row_edges_.back(), QImage::Format_RGB32);
  page_.setDevicePixelRatio(ratio);
  page_.fill(palette().color(QPalette::Base));
  const QSize device_cell(static_cast<int>(std::ceil(cell_.width() * ratio)),
                          static_cast<int>(std::ceil(cell_.height() * ratio)));
  // Control codes (TAB among them) have no glyph: their cells stay blank. LF ends its row and is not
  // drawn at all.
  atlas_.reset(font_, device_cell, kCopySlack, baseline_, ratio, &has_glyph);
}

QRect ScreenWidget::cell_rect(int page_row, int column) const {
  const QRect area = text_area();
  return QRect(area.left() + column * cell_.width(), area.top() + page_row * cell_.height(),
               cell_.width(), cell_.height());
}

ScreenWidget::Cell ScreenWidget::cell_at(QPoint point) const {
  const QRect area = text_area();
  const int y = point.y() - area.top();
  const int page_row = y >= 0 ? y / cell_.height() : -((cell_.height() - 1 - y) / cell_.height());
  const int x = std::max(0, point.x() - area.left());
  // A click lands between the two characters nearest to it, as the caret does.
  const int column = std::min(kDisplayColumns, (x + cell_.width() / 2) / cell_.width());
  return {top_row() + page_row, column};
}

QSize ScreenWidget::sizeHint() const {
  const int frame = 2 * (frameWidth() + kMargin);
  return QSize(kDisplayColumns * cell_.width() + frame + scroll_bar_->sizeHint().width(),
               kPaintedRows * cell_.height() + frame);
}

bool ScreenWidget::event(QEvent* event) {
  // The display takes Tab as a key of its own; it never moves the focus out of it.
  if (event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab) {
      keyPressEvent(key);
      return true;
    }
  }
  return QFrame::event(event);
}

void ScreenWidget::resizeEvent(QResizeEvent* event) {
  QFrame::resizeEvent(event);
  const QRect inside = contentsRect();
  const int bar = scroll_bar_->sizeHint().width();
  scroll_bar_->setGeometry(inside.right() + 1 - bar, inside.top(), bar, inside.height());
  fit_font();
  sync_scroll_bar();
  update();
}

QRect ScreenWidget::grid_rect() const {
  return QRect(text_area().topLeft(), QSize(kGridColumns * cell_.width(), painted_rows_ * cell_.height()));
}

QRect ScreenWidget::text_background() const {
  QRect inside = contentsRect();
  inside.setRight(scroll_bar_->geometry().left() - 1);
  return inside;
}

void ScreenWidget::paintEvent(QPaintEvent* event) {
  const QRect inside = text_background();
  if (!inside.contains(event->rect())) QFrame::paintEvent(event);  // the frame only when it is to be drawn
  if (devicePixelRatioF() != page_ratio_) set_up_page();  // moved to a screen of another density
  update_page();

  QPainter painter(this);
  painter.setClipRect(inside);
  const QRect grid = grid_rect();
  // Qt's raster engine shares a fill taller than about 96 lines out to a thread pool, whose
  // wake-ups cost more than the fill itself: the margins are filled in lower bands.
  const QColor base = palette().color(QPalette::Base);
  if (!grid.contains(event->rect())) {
    for (const QRect& margin : QRegion(inside).subtracted(grid)) {
      for (int top = margin.top(); top <= margin.bottom(); top += kFillBand)
        painter.fillRect(QRect(margin.left(), top, margin.width(), std::min(kFillBand, margin.bottom() + 1 - top)),
                         base);
    }
  }
  painter.drawImage(QPointF(grid.topLeft()), page_, QRectF(0, 0, column_edges_.back(), row_edges_.back()));

  const Selection selection = painted_selection_;
  if (hasFocus() && selection.cpMin == selection.cpMax) {
    const int row = surface_.line_from_char(selection.cpMin);
    const int page_row = row - painted_first_;
    if (page_row >= 0 && page_row < painted_rows_) {
      const int column = selection.cpMin - surface_.line_index(row);
      QRect caret = cell_rect(page_row, column);
      caret.setWidth(kCaretWidth);
      painter.fillRect(caret, palette().color(QPalette::Text));
    }
  }
}

// Only the painted rows are read from the model, each by one lookup, and only those that differ
// from what the page image holds are drawn again.
void ScreenWidget::update_page() {
  const Selection selection = surface_.selection();
  const int first = top_row();
  const int rows = surface_.line_count();
  for (int page_row = 0; page_row < painted_rows_; ++page_row) {
    RowPaint& shown = rows_[static_cast<std::size_t>(page_row)];
    if (first + page_row >= rows) {
      if (shown.valid) blank_row(page_row);
      continue;
    }
    if (row_unchanged(page_row, first + page_row, selection)) continue;
    shown.text = fetched_.text;
    shown.colours = fetched_.colours;
    shown.selected_from = fetched_.selected_from;
    shown.selected_to = fetched_.selected_to;
    shown.valid = true;
    draw_row(page_row, shown);
  }
  painted_first_ = first;
  painted_selection_ = selection;
}

void ScreenWidget::blank_row(int page_row) {
  rows_[static_cast<std::size_t>(page_row)].valid = false;
  const QRgb base = palette().color(QPalette::Base).rgb();
  const auto row = static_cast<std::size_t>(page_row);
  for (int y = row_edges_[row]; y < row_edges_[row + 1]; ++y) {
    auto* line = reinterpret_cast<QRgb*>(page_.scanLine(y));
    std::fill_n(line, page_.width(), base);
  }
}

// The model's revision says that something changed, not which rows: a row is read into `fetched_`
// and compared with what was last drawn in its place.
bool ScreenWidget::row_unchanged(int page_row, int row, Selection selection) {
  RowPaint& now = fetched_;
  now.text = surface_.row_text(row);
  const int count = std::min(static_cast<int>(now.text.size()), static_cast<int>(now.colours.size()));
  surface_.row_colours(row, now.colours.data(), count);
  const int start = surface_.line_index(row);
  now.selected_from = std::clamp(selection.cpMin - start, 0, count);
  now.selected_to = std::clamp(selection.cpMax - start, 0, count);
  const RowPaint& shown = rows_[static_cast<std::size_t>(page_row)];
  return shown.valid && shown.text == now.text && shown.selected_from == now.selected_from &&
         shown.selected_to == now.selected_to &&
         std::equal(now.colours.begin(), now.colours.begin() + count, shown.colours.begin());
}

bool ScreenWidget::page_unchanged() {
  const Selection selection = surface_.selection();
  const int first = top_row();
  if (first != painted_first_ || selection.cpMin != painted_selection_.cpMin ||
      selection.cpMax != painted_selection_.cpMax)
    return false;
  const int rows = surface_.line_count();
  for (int page_row = 0; page_row < painted_rows_; ++page_row) {
    const bool shown = rows_[static_cast<std::size_t>(page_row)].valid;
    if (first + page_row < rows ? !row_unchanged(page_row, first + page_row, selection) : shown) return false;
  }
  return true;
}

// Selected characters are drawn in the highlight's colours, whatever their own. Each cell is
// copied from the sheet of its colours; the columns past the row's end are blank.
void ScreenWidget::draw_row(int page_row, const RowPaint& paint) {
  const QPalette& colours = palette();
  const QRgb base = colours.color(QPalette::Base).rgb();
  const QRgb highlight = colours.color(QPalette::Highlight).rgb();
  const QRgb highlighted_text = colours.color(QPalette::HighlightedText).rgb();
  const auto row = static_cast<std::size_t>(page_row);
  const int top = row_edges_[row];
  const int height = row_edges_[row + 1] - top;
  const qsizetype sheet_cell_bytes = atlas_.cell().width() * qsizetype{4};
  uchar* const bits = page_.bits();
  const qsizetype stride = page_.bytesPerLine();
  const int count = std::min(static_cast<int>(paint.text.size()), kGridColumns);
  for (int column = 0; column < count; ++column) {
    const auto at = static_cast<std::size_t>(column);
    const bool selected = column >= paint.selected_from && column < paint.selected_to;
    const QRgb ink = selected ? highlighted_text : to_qrgb(paint.colours[at]);
    const QImage& sheet = atlas_.sheet(ink, selected ? highlight : base);
    const qsizetype sheet_stride = sheet.bytesPerLine();
    const uchar* from = sheet.constBits() + static_cast<unsigned char>(paint.text[at]) * sheet_cell_bytes;
    uchar* to = bits + top * stride + column_edges_[at] * qsizetype{4};
    const int width = column_edges_[at + 1] - column_edges_[at];
    for (int y = 0; y < height; ++y, from += sheet_stride, to += stride) copy_pixels(to, from, width);
  }
  const int blank_from = column_edges_[static_cast<std::size_t>(count)];
  for (int y = top; y < top + height; ++y) {
    auto* line = reinterpret_cast<QRgb*>(bits + y * stride);
    std::fill(line + blank_from, line + page_.width(), base);
  }
}

void ScreenWidget::keyPressEvent(QKeyEvent* event) {
  const Qt::KeyboardModifiers modifiers = event->modifiers();
  // Alt and Meta combinations belong to the window manager and the dialog, not to the line.
  if (modifiers & (Qt::AltModifier | Qt::MetaModifier)) {
    event->ignore();
    return;
  }
  const KeyModifiers keys{modifiers.testFlag(Qt::ShiftModifier), modifiers.testFlag(Qt::ControlModifier)};
  const KeyStroke stroke = translate_key(event->key(), keys.control, event->text());
  if (stroke.vk == 0 && stroke.ch < 0) {
    event->ignore();
    return;
  }
  event->accept();
  if (stroke.vk != 0) surface_.key_down(stroke.vk, keys);
  if (stroke.ch >= 0) surface_.character(stroke.ch);
  refresh();
}

void ScreenWidget::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) {
    QFrame::mousePressEvent(event);
    return;
  }
  const Cell cell = cell_at(event->position().toPoint());
  surface_.place_caret(cell.row, cell.column, event->modifiers().testFlag(Qt::ShiftModifier));
  refresh();
}

void ScreenWidget::mouseMoveEvent(QMouseEvent* event) {
  if (!event->buttons().testFlag(Qt::LeftButton)) {
    QFrame::mouseMoveEvent(event);
    return;
  }
  const Cell cell = cell_at(event->position().toPoint());
  surface_.place_caret(cell.row, cell.column, true);
  refresh();
}

void ScreenWidget::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) {
    QFrame::mouseDoubleClickEvent(event);
    return;
  }
  const Cell cell = cell_at(event->position().toPoint());
  const int row = std::clamp(cell.row, 0, surface_.line_count() - 1);
  const std::string text = surface_.row_text(row);
  const int length = surface_.line_length(surface_.line_index(row));
  auto word_at = [&](int column) {
    return column >= 0 && column < length &&
           is_word_char(static_cast<unsigned char>(text[static_cast<std::size_t>(column)]));
  };
  const int x = event->position().toPoint().x() - text_area().left();
  const int hit = x < 0 ? 0 : x / cell_.width();  // the character under the pointer
  if (!word_at(hit)) return;
  int begin = hit;
  int end = hit + 1;
  while (word_at(begin - 1)) --begin;
  while (word_at(end)) ++end;
  const int start = surface_.line_index(row);
  surface_.set_selection(start + begin, start + end);
  refresh();
}

void ScreenWidget::wheelEvent(QWheelEvent* event) {
  // Fine-grained wheels send fractions of a notch; they add up to whole notches.
  wheel_remainder_ += event->angleDelta().y();
  const int notches = wheel_remainder_ / kWheelNotch;
  wheel_remainder_ -= notches * kWheelNotch;
  if (notches != 0) scroll_to(top_row() - notches * kWheelRows);
  event->accept();
  refresh();
}

void ScreenWidget::focusInEvent(QFocusEvent* event) {
  QFrame::focusInEvent(event);
  update();
}

void ScreenWidget::focusOutEvent(QFocusEvent* event) {
  QFrame::focusOutEvent(event);
  update();
}

void ScreenWidget::changeEvent(QEvent* event) {
  QFrame::changeEvent(event);
  if (event->type() == QEvent::PaletteChange) set_up_page();  // the background and the selection's colours changed
}

}  // namespace platform
