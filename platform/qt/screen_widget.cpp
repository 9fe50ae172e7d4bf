#include "platform/qt/screen_widget.h"

#include <QFocusEvent>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QWheelEvent>

#include <algorithm>
#include <array>
#include <string>

namespace platform {
namespace {

constexpr int kMinPixelSize = 6;
constexpr int kMaxPixelSize = 72;
constexpr int kMargin = 2;          // between the frame and the grid
constexpr int kCaretWidth = 2;
constexpr int kWheelRows = 3;       // rows a wheel notch scrolls
constexpr int kWheelNotch = 120;    // eighths of a degree
constexpr int kFillBand = 32;       // lines

QColor to_qcolor(Colour colour) {
  return QColor(static_cast<int>(colour & 0xFF), static_cast<int>((colour >> 8) & 0xFF),
                static_cast<int>((colour >> 16) & 0xFF));
}

// C0 and C1 control codes (TAB among them) have no glyph: their cells stay blank. LF ends its row
// and is not drawn at all.
bool has_glyph(unsigned char byte) { return byte > 0x20 && (byte < 0x7F || byte > 0x9F); }

bool is_word_char(unsigned char byte) { return has_glyph(byte) && byte != 0xA0; }

// A trace that grows at the bottom changes the scroll bar's range every tick, while its handle,
// already at its shortest, stays where it is: the bar repaints only when what it shows changes.
class TraceScrollBar final : public QScrollBar {
 public:
  explicit TraceScrollBar(QWidget* parent) : QScrollBar(Qt::Vertical, parent) {}

  // Range, page and value at once: the handle is judged in its final place only.
  void show_rows(int maximum, int page, int value) {
    setting_ = true;
    setRange(0, maximum);
    setPageStep(page);
    setSingleStep(1);
    setValue(value);
    setting_ = false;
    if (moved()) update();
  }

 protected:
  void sliderChange(SliderChange change) override {
    if (!setting_ && moved()) QScrollBar::sliderChange(change);
  }
  void resizeEvent(QResizeEvent* event) override {
    shown_handle_ = QRect();  // drawn anew at the new size
    QScrollBar::resizeEvent(event);
  }

 private:
  bool moved() {
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

  bool setting_ = false;
  QRect shown_handle_;
  int shown_ends_ = -1;
};

// What one key press means to the display: a virtual-key code (0: none) and a character (-1: none).
struct Stroke {
  int vk = 0;
  int ch = -1;
};

Stroke translate(int key, bool control, const QString& text) {
  switch (key) {
    case Qt::Key_Backspace: return {VK_BACK, 0x08};
    case Qt::Key_Tab:
    case Qt::Key_Backtab: return {VK_TAB, 0x09};
    case Qt::Key_Return:
    case Qt::Key_Enter: return {VK_RETURN, 0x0D};
    case Qt::Key_Escape: return {VK_ESCAPE, -1};  // only a key: the filter answers its key-down
    case Qt::Key_PageUp: return {VK_PRIOR, -1};
    case Qt::Key_PageDown: return {VK_NEXT, -1};
    case Qt::Key_End: return {VK_END, -1};
    case Qt::Key_Home: return {VK_HOME, -1};
    case Qt::Key_Left: return {VK_LEFT, -1};
    case Qt::Key_Up: return {VK_UP, -1};
    case Qt::Key_Right: return {VK_RIGHT, -1};
    case Qt::Key_Down: return {VK_DOWN, -1};
    case Qt::Key_Delete: return {VK_DELETE, -1};
    case Qt::Key_Space: return {0x20, ' '};
    default: break;
  }
  if (control) {
    // The control characters beyond Ctrl+A..Z, as terminals type them.
    switch (key) {
      case Qt::Key_At: return {0, 0x00};
      case Qt::Key_BracketLeft: return {0, 0x1B};
      case Qt::Key_Backslash: return {0, 0x1C};
      case Qt::Key_BracketRight: return {0, 0x1D};
      case Qt::Key_AsciiCircum: return {0, 0x1E};
      case Qt::Key_Underscore: return {0, 0x1F};
      default: break;
    }
  }
  Stroke stroke;
  if (key >= Qt::Key_A && key <= Qt::Key_Z) {
    stroke.vk = VK_KEY_A + (key - Qt::Key_A);
    // The text of a Ctrl+letter event differs between platforms (and is a plain letter or empty
    // under test input), so the control code comes from the key itself.
    if (control) stroke.ch = key - Qt::Key_A + 1;
  }
  if (control) return stroke;  // no other Ctrl combination types a character
  // Only one byte of Latin-1 is a character of the display; anything beyond it is not typed.
  for (const QChar c : text) {
    const char16_t unit = c.unicode();
    if (unit >= 0x20 && unit <= 0xFF && unit != 0x7F) {
      stroke.ch = unit;
      break;
    }
  }
  return stroke;
}

}  // namespace

ScreenWidget::ScreenWidget(DisplaySurface& surface, QWidget* parent)
    : QFrame(parent), surface_(surface), scroll_bar_(new TraceScrollBar(this)) {
  setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
  setFocusPolicy(Qt::StrongFocus);
  setAttribute(Qt::WA_OpaquePaintEvent);
  setCursor(Qt::IBeamCursor);
  scroll_bar_->setFocusPolicy(Qt::NoFocus);
  scroll_bar_->setCursor(Qt::ArrowCursor);
  connect(scroll_bar_, &QScrollBar::valueChanged, this, [this](int value) {
    surface_.line_scroll(value - surface_.first_visible_line());
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
  if (!page_unchanged()) update(text_background());
}

void ScreenWidget::sync_scroll_bar() {
  const QSignalBlocker quiet(scroll_bar_);  // setting it from the model is not a user's scroll
  static_cast<TraceScrollBar*>(scroll_bar_)->show_rows(std::max(0, surface_.line_count() - 1), kDisplayPageRows,
                                                       surface_.first_visible_line());
}

QRect ScreenWidget::text_area() const {
  QRect area = contentsRect().adjusted(kMargin, kMargin, -kMargin, -kMargin);
  area.setRight(area.right() - scroll_bar_->sizeHint().width());
  return area;
}

void ScreenWidget::fit_font() {
  const QRect area = text_area();
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
  raw_font_ = QRawFont::fromFont(font_);
  QString latin1(256, QChar());
  for (int byte = 0; byte < 256; ++byte) latin1[byte] = QChar(byte);
  const QList<quint32> indexes = raw_font_.glyphIndexesForString(latin1);
  for (int byte = 0; byte < 256; ++byte) glyphs_[static_cast<std::size_t>(byte)] = byte < indexes.size() ? indexes[byte] : 0;
  forget_rows();
  // The rows share out the height the font leaves over, so the grid fills the box.
  const int row_height = std::max(metrics.height(), area.height() / kPaintedRows);
  cell_ = QSize(std::max(1, metrics.horizontalAdvance(QLatin1Char('M'))), std::max(1, row_height));
  baseline_ = (row_height - metrics.height()) / 2 + metrics.ascent();
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
  return {surface_.first_visible_line() + page_row, column};
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
  update();
}

QRect ScreenWidget::text_background() const {
  QRect inside = contentsRect();
  inside.setRight(scroll_bar_->geometry().left() - 1);
  return inside;
}

void ScreenWidget::paintEvent(QPaintEvent* event) {
  const QRect inside = text_background();
  if (!inside.contains(event->rect())) QFrame::paintEvent(event);  // the frame only when it is to be drawn
  QPainter painter(this);
  // Qt's raster engine shares a fill taller than about 96 lines out to a thread pool, whose
  // wake-ups cost more than the fill itself: the background is filled in lower bands.
  const QColor base = palette().color(QPalette::Base);
  for (int top = inside.top(); top <= inside.bottom(); top += kFillBand)
    painter.fillRect(QRect(inside.left(), top, inside.width(), std::min(kFillBand, inside.bottom() + 1 - top)), base);
  painter.setClipRect(inside);
  painter.setFont(font_);

  // Only the painted rows are read from the model, each by one lookup.
  const Selection selection = surface_.selection();
  const int first = surface_.first_visible_line();
  const int rows = surface_.line_count();
  for (int page_row = 0; page_row < kPaintedRows; ++page_row) {
    if (first + page_row < rows)
      paint_row(painter, page_row, first + page_row, selection);
    else
      rows_[static_cast<std::size_t>(page_row)].valid = false;
  }
  painted_first_ = first;
  painted_selection_ = selection;

  if (hasFocus() && selection.cpMin == selection.cpMax) {
    const int row = surface_.line_from_char(selection.cpMin);
    const int page_row = row - first;
    if (page_row >= 0 && page_row < kPaintedRows) {
      const int column = selection.cpMin - surface_.line_index(row);
      QRect caret = cell_rect(page_row, column);
      caret.setWidth(kCaretWidth);
      painter.fillRect(caret, palette().color(QPalette::Text));
    }
  }
}

void ScreenWidget::forget_rows() {
  for (RowPaint& paint : rows_) paint.valid = false;
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
  const int first = surface_.first_visible_line();
  if (first != painted_first_ || selection.cpMin != painted_selection_.cpMin ||
      selection.cpMax != painted_selection_.cpMax)
    return false;
  const int rows = surface_.line_count();
  for (int page_row = 0; page_row < kPaintedRows; ++page_row) {
    const bool shown = rows_[static_cast<std::size_t>(page_row)].valid;
    if (first + page_row < rows ? !row_unchanged(page_row, first + page_row, selection) : shown) return false;
  }
  return true;
}

// A row is laid out again only when it differs from what was drawn in its place.
void ScreenWidget::paint_row(QPainter& painter, int page_row, int row, Selection selection) {
  RowPaint& paint = rows_[static_cast<std::size_t>(page_row)];
  if (!row_unchanged(page_row, row, selection)) {
    paint.text = fetched_.text;
    paint.colours = fetched_.colours;
    paint.selected_from = fetched_.selected_from;
    paint.selected_to = fetched_.selected_to;
    lay_out_row(paint);
    paint.valid = true;
  }
  const int selected_from = paint.selected_from;
  const int selected_to = paint.selected_to;

  const QRect first = cell_rect(page_row, 0);
  if (selected_to > selected_from) {  // a selected LF shows as one cell
    painter.fillRect(QRect(first.left() + selected_from * cell_.width(), first.top(),
                           (selected_to - selected_from) * cell_.width(), cell_.height()),
                     palette().color(QPalette::Highlight));
  }
  const QPointF baseline(first.left(), first.top() + baseline_);
  for (const auto& [colour, run] : paint.runs) {
    painter.setPen(colour);
    painter.drawGlyphRun(baseline, run);
  }
  for (const auto& [column, colour] : paint.without_glyph) {
    painter.setPen(colour);
    const auto byte = static_cast<unsigned char>(paint.text[static_cast<std::size_t>(column)]);
    painter.drawText(first.left() + column * cell_.width(), first.top() + baseline_, QString(QChar(byte)));
  }
}

// One glyph run per colour, every glyph placed on its own cell: the grid stays exact whatever the
// font's fractional advance. A character the font lacks is left to drawText, which finds another
// font for it.
void ScreenWidget::lay_out_row(RowPaint& paint) const {
  // Selected characters are drawn in the highlight's text colour, whatever their own.
  constexpr std::uint64_t kSelected = std::uint64_t{1} << 32;
  struct Run {
    std::uint64_t key;  // a colour, or kSelected
    QList<quint32> glyphs;
    QList<QPointF> positions;
  };
  std::vector<Run> runs;
  paint.without_glyph.clear();
  const QColor highlighted_text = palette().color(QPalette::HighlightedText);
  const auto colour_of = [&](std::uint64_t key) {
    return key == kSelected ? highlighted_text : to_qcolor(static_cast<Colour>(key));
  };
  const int count = std::min(static_cast<int>(paint.text.size()), static_cast<int>(paint.colours.size()));
  for (int column = 0; column < count; ++column) {
    const auto byte = static_cast<unsigned char>(paint.text[static_cast<std::size_t>(column)]);
    if (!has_glyph(byte)) continue;
    const bool selected = column >= paint.selected_from && column < paint.selected_to;
    const std::uint64_t key = selected ? kSelected : paint.colours[static_cast<std::size_t>(column)];
    const quint32 glyph = glyphs_[byte];
    if (glyph == 0) {
      paint.without_glyph.emplace_back(column, colour_of(key));
      continue;
    }
    auto run = std::find_if(runs.begin(), runs.end(), [key](const Run& r) { return r.key == key; });
    if (run == runs.end()) {
      run = runs.insert(runs.end(), Run{key, {}, {}});
      run->glyphs.reserve(count);
      run->positions.reserve(count);
    }
    run->glyphs.append(glyph);
    run->positions.append(QPointF(column * cell_.width(), 0));
  }
  paint.runs.clear();
  for (Run& run : runs) {
    QGlyphRun glyph_run;
    glyph_run.setRawFont(raw_font_);
    glyph_run.setGlyphIndexes(run.glyphs);
    glyph_run.setPositions(run.positions);
    paint.runs.emplace_back(colour_of(run.key), std::move(glyph_run));
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
  const Stroke stroke = translate(event->key(), keys.control, event->text());
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
  if (notches != 0) surface_.line_scroll(-notches * kWheelRows);
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
  if (event->type() == QEvent::PaletteChange) forget_rows();  // the selection's colours changed
}

}  // namespace platform
