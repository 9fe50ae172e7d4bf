#include "platform/qt/terminal_widget.h"

#include <QActionGroup>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFocusEvent>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QWheelEvent>

#include <algorithm>
#include <string>

#include "platform/qt/dialog_widgets.h"
#include "platform/qt/steady_scroll_bar.h"
#include "platform/qt/terminal_keys.h"

namespace platform {
namespace {

constexpr int kMinPixelSize = 5;
constexpr int kMaxPixelSize = 72;
constexpr int kMargin = 2;        // between the frame and the grid
constexpr int kWheelLines = 3;    // lines a wheel notch scrolls
constexpr int kWheelNotch = 120;  // eighths of a degree
constexpr int kHollowCursor = 1;  // the cursor's outline while the widget has no focus
constexpr int kBand = 32;         // lines of the grid copied at once

QRgb to_qrgb(terminal::Rgb rgb) { return qRgb(rgb.red, rgb.green, rgb.blue); }

QString size_text(TerminalSize size) { return QStringLiteral("%1x%2").arg(size.columns).arg(size.rows); }

}  // namespace

TerminalWidget::TerminalWidget(TerminalSurface& surface, QWidget* parent)
    : QFrame(parent), surface_(surface), scroll_bar_(new SteadyScrollBar(this)) {
  setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
  setFocusPolicy(Qt::StrongFocus);
  setAttribute(Qt::WA_OpaquePaintEvent);
  setAttribute(Qt::WA_InputMethodEnabled);
  setCursor(Qt::IBeamCursor);
  scroll_bar_->setFocusPolicy(Qt::NoFocus);
  scroll_bar_->setCursor(Qt::ArrowCursor);
  // The bar's value counts lines from the oldest kept one: the live screen is its maximum.
  connect(scroll_bar_, &QScrollBar::valueChanged, this, [this](int value) {
    surface_.scroll_view(scroll_bar_->maximum() - value - surface_.emulator().view_offset());
    refresh();
  });
  fit_font();
}

TerminalWidget::~TerminalWidget() = default;

QSize TerminalWidget::sizeHint() const {
  const TerminalSize size = surface_.size();
  const int frame = 2 * (frameWidth() + kMargin);
  return QSize(size.columns * cell_.width() + frame + scroll_bar_->sizeHint().width(),
               size.rows * cell_.height() + frame);
}

// ---- Layout ----

QRect TerminalWidget::text_area() const {
  const int inset = frameWidth() + kMargin;
  QRect area = rect().adjusted(inset, inset, -inset, -inset);
  area.setRight(area.right() - scroll_bar_->sizeHint().width());
  return area;
}

QRect TerminalWidget::grid_rect() const {
  const QSize grid(painted_size_.columns * cell_.width(), painted_size_.rows * cell_.height());
  return QRect(text_area().topLeft(), grid);
}

QRect TerminalWidget::cell_rect(int row, int column) const {
  const QRect area = text_area();
  return QRect(area.left() + column * cell_.width(), area.top() + row * cell_.height(), cell_.width(), cell_.height());
}

// The largest font whose grid fits; below the smallest the grid is cut.
void TerminalWidget::fit_font() {
  const TerminalSize size = surface_.size();
  const QRect area = text_area();
  QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  font.setStyleHint(QFont::TypeWriter);
  font.setFixedPitch(true);
  int chosen = kMinPixelSize;
  for (int pixels = kMaxPixelSize; pixels > kMinPixelSize; --pixels) {
    font.setPixelSize(pixels);
    const QFontMetrics metrics(font);
    if (metrics.horizontalAdvance(QLatin1Char('M')) * size.columns <= area.width() &&
        metrics.height() * size.rows <= area.height()) {
      chosen = pixels;
      break;
    }
  }
  font.setPixelSize(chosen);
  const QFontMetrics metrics(font);
  font_ = font;
  cell_ = QSize(std::max(1, metrics.horizontalAdvance(QLatin1Char('M'))), std::max(1, metrics.height()));
  baseline_ = metrics.ascent();
  painted_size_ = size;
  set_up_page();
}

// The page has the screen's own pixels, so that painting it is a plain copy.
void TerminalWidget::set_up_page() {
  page_ratio_ = devicePixelRatioF();
  const QPalette& colours = palette();
  page_.reset(painted_size_, {font_, cell_, baseline_, page_ratio_, colours.color(QPalette::Highlight).rgb(),
                              colours.color(QPalette::HighlightedText).rgb()});
  std::vector<bool> all(static_cast<std::size_t>(painted_size_.rows), true);
  page_.update(surface_, all);
  surface_.emulator().take_damage();  // all drawn
  painted_selection_ = surface_.selection();
}

// ---- Painting ----

void TerminalWidget::refresh() {
  if (surface_.size() != painted_size_) {
    fit_font();
    sync_scroll_bar();
    update();
  }
  const Shown now{surface_.emulator().cursor(), hasFocus()};
  const std::uint64_t revision = surface_.revision();
  if (revision == seen_revision_ && now == shown_) return;
  seen_revision_ = revision;
  std::vector<bool> rows = surface_.emulator().take_damage();
  if (surface_.selection() != painted_selection_) {
    rows.assign(rows.size(), true);
    painted_selection_ = surface_.selection();
  }
  page_.update(surface_, rows);
  // The cursor's old and new cells are painted again, whether their rows changed or not.
  for (const terminal::Cursor& cursor : {shown_.cursor, now.cursor})
    if (cursor.row >= 0 && cursor.row < static_cast<int>(rows.size()))
      rows[static_cast<std::size_t>(cursor.row)] = true;
  shown_ = now;
  update_rows(rows);
  sync_scroll_bar();
}

void TerminalWidget::update_rows(const std::vector<bool>& rows) {
  QRect changed;
  const int width = grid_rect().width();
  for (int row = 0; row < static_cast<int>(rows.size()); ++row)
    if (rows[static_cast<std::size_t>(row)])
      changed |= QRect(cell_rect(row, 0).topLeft(), QSize(width, cell_.height()));
  if (!changed.isEmpty()) update(changed);
}

void TerminalWidget::paintEvent(QPaintEvent* event) {
  const QRect grid = grid_rect();
  if (!grid.contains(event->rect())) QFrame::paintEvent(event);
  if (devicePixelRatioF() != page_ratio_) set_up_page();  // moved to a screen of another density
  QPainter painter(this);
  painter.setClipRect(contentsRect().adjusted(0, 0, -scroll_bar_->width(), 0));
  if (!grid.contains(event->rect())) {
    // The margins around the grid take the terminal's background.
    const QRgb background = to_qrgb(surface_.emulator().cell(-1, -1).background.rgb);
    for (const QRect& margin : QRegion(contentsRect()).subtracted(grid)) painter.fillRect(margin, QColor(background));
  }
  // Qt's raster engine shares out a large image among a thread pool, whose wake-ups cost more than
  // the copy itself: the rows asked for are copied in bands of a few.
  const qreal ratio = page_ratio_;
  for (const QRect& part : event->region().intersected(grid)) {
    for (int top = part.top(); top <= part.bottom(); top += kBand) {
      const QRect band(part.left(), top, part.width(), std::min(kBand, part.bottom() + 1 - top));
      const QRectF source(QPointF(band.topLeft() - grid.topLeft()) * ratio, QSizeF(band.size()) * ratio);
      painter.drawImage(QRectF(band), page_.image(), source);
    }
  }
  paint_cursor(painter);
}

// With the focus, a block in the cell's colours swapped; without it, an outline.
void TerminalWidget::paint_cursor(QPainter& painter) {
  const terminal::Cursor cursor = surface_.emulator().cursor();
  if (!cursor.visible || cursor.row >= painted_size_.rows || cursor.column >= painted_size_.columns) return;
  const terminal::Cell cell = surface_.emulator().cell(cursor.row, cursor.column);
  const QRect place = cell_rect(cursor.row, cursor.column);
  QRgb ink = 0;
  QRgb paper = 0;
  TerminalPage::colours_of(cell, surface_.emulator(), ink, paper);
  if (!hasFocus()) {
    painter.setPen(QPen(QColor(ink), kHollowCursor));
    painter.drawRect(place.adjusted(0, 0, -1, -1));
    return;
  }
  const QImage& block = page_.glyph(cell, paper, ink);
  painter.drawImage(QRectF(place), block, QRectF(block.rect()));
}

// ---- Scrollback ----

void TerminalWidget::sync_scroll_bar() {
  const QSignalBlocker quiet(scroll_bar_);  // set from the emulator: not a user's scroll
  const int kept = static_cast<int>(surface_.emulator().scrollback_size());
  static_cast<SteadyScrollBar*>(scroll_bar_)->show_rows(kept, painted_size_.rows,
                                                       kept - surface_.emulator().view_offset());
}

void TerminalWidget::wheelEvent(QWheelEvent* event) {
  // Fine-grained wheels send fractions of a notch; they add up to whole notches.
  wheel_remainder_ += event->angleDelta().y();
  const int notches = wheel_remainder_ / kWheelNotch;
  wheel_remainder_ -= notches * kWheelNotch;
  if (notches != 0) surface_.scroll_view(notches * kWheelLines);
  event->accept();
  refresh();
}

// ---- Keys ----

bool TerminalWidget::event(QEvent* event) {
  // Tab and Shift+Tab are the far end's; they never move the focus out of the terminal.
  if (event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab) {
      keyPressEvent(key);
      return true;
    }
  }
  // Ctrl+Shift+C and the like are the terminal's, before any shortcut of the window sees them.
  if (event->type() == QEvent::ShortcutOverride) {
    event->accept();
    return true;
  }
  return QFrame::event(event);
}

bool TerminalWidget::shortcut(QKeyEvent* event) {
  const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
  const bool ctrl_shift = modifiers == (Qt::ControlModifier | Qt::ShiftModifier);
  const bool shift = modifiers == Qt::ShiftModifier;
  if (ctrl_shift && event->key() == Qt::Key_C) copy();
  else if ((ctrl_shift && event->key() == Qt::Key_V) || (shift && event->key() == Qt::Key_Insert)) paste();
  else if (shift && event->key() == Qt::Key_PageUp) surface_.page_back();
  else if (shift && event->key() == Qt::Key_PageDown) surface_.page_forward();
  else return false;
  return true;
}

void TerminalWidget::keyPressEvent(QKeyEvent* event) {
  if (shortcut(event)) {
    event->accept();
    refresh();
    return;
  }
  const std::optional<TerminalKeyPress> press = terminal_key_press(event->key(), event->modifiers(), event->text());
  if (!press) {
    event->ignore();
    return;
  }
  event->accept();
  if (press->key) surface_.key(*press->key, press->modifiers);
  for (const char32_t c : press->characters) surface_.character(c, press->modifiers);
  refresh();
}

// ---- Copy and paste ----

void TerminalWidget::copy() {
  const std::string text = surface_.selected_text();
  if (!text.empty()) QGuiApplication::clipboard()->setText(from_utf8(text));
}

void TerminalWidget::paste() {
  const std::string text = to_utf8(QGuiApplication::clipboard()->text());
  if (!text.empty()) surface_.paste(text);
  refresh();
}

void TerminalWidget::set_x_selection() {
  QClipboard* clipboard = QGuiApplication::clipboard();
  const std::string text = surface_.selected_text();
  if (clipboard->supportsSelection() && !text.empty()) clipboard->setText(from_utf8(text), QClipboard::Selection);
}

// ---- Mouse ----

// The character boundary nearest to a point, as the line and column of the emulator.
terminal::LinePosition TerminalWidget::boundary_at(QPoint point) const {
  const QRect area = text_area();
  const int row = std::clamp((point.y() - area.top()) / std::max(1, cell_.height()), 0, painted_size_.rows - 1);
  const int x = std::max(0, point.x() - area.left());
  const int column = std::min(painted_size_.columns, (x + cell_.width() / 2) / cell_.width());
  return surface_.emulator().position_at(row, column);
}

void TerminalWidget::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::MiddleButton && QGuiApplication::clipboard()->supportsSelection()) {
    const std::string text = to_utf8(QGuiApplication::clipboard()->text(QClipboard::Selection));
    if (!text.empty()) surface_.paste(text);
    refresh();
    return;
  }
  if (event->button() != Qt::LeftButton) return QFrame::mousePressEvent(event);
  const terminal::LinePosition at = boundary_at(event->position().toPoint());
  surface_.select(at, at);
  selecting_ = true;
  refresh();
}

void TerminalWidget::mouseMoveEvent(QMouseEvent* event) {
  if (!selecting_ || !event->buttons().testFlag(Qt::LeftButton) || !surface_.selection())
    return QFrame::mouseMoveEvent(event);
  surface_.select(surface_.selection()->anchor, boundary_at(event->position().toPoint()));
  refresh();
}

void TerminalWidget::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton || !selecting_) return QFrame::mouseReleaseEvent(event);
  selecting_ = false;
  set_x_selection();
}

void TerminalWidget::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return QFrame::mouseDoubleClickEvent(event);
  const QPoint point = event->position().toPoint() - text_area().topLeft();
  if (point.x() < 0 || point.y() < 0) return;
  surface_.select_word(point.y() / cell_.height(), point.x() / cell_.width());
  set_x_selection();
  refresh();
}

// ---- The context menu ----

namespace {

// A submenu of `menu` whose entries are choices of one setting, the one in effect checked.
template <class Value, class Choose>
void add_choices(QMenu& menu, const QString& title, const std::vector<std::pair<Value, QString>>& choices,
                 Value current, Choose choose) {
  QMenu* submenu = menu.addMenu(title);
  auto* group = new QActionGroup(submenu);
  for (const auto& [value, name] : choices) {
    QAction* action = submenu->addAction(name, &menu, [choose, value = value] { choose(value); });
    action->setCheckable(true);
    action->setChecked(value == current);
    group->addAction(action);
  }
}

}  // namespace

QMenu* TerminalWidget::make_menu(QWidget* parent) {
  auto* menu = new QMenu(parent);
  QAction* copy_action = menu->addAction(QStringLiteral("Copy"), this, [this] { copy(); });
  copy_action->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C));
  copy_action->setEnabled(!surface_.selected_text().empty());
  QAction* paste_action = menu->addAction(QStringLiteral("Paste"), this, [this] { paste(); });
  paste_action->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_V));
  menu->addSeparator();
  add_choices(*menu, QStringLiteral("Size"), size_choices(), surface_.size(), [this](TerminalSize size) {
    surface_.set_size(size);
    refresh();
  });
  add_choices(*menu, QStringLiteral("Received Bytes"),
              {{terminal::Decoding::Utf8, QStringLiteral("UTF-8")}, {terminal::Decoding::Latin1, QStringLiteral("Latin-1")}},
              surface_.decoding(), [this](terminal::Decoding decoding) { surface_.set_decoding(decoding); });
  add_choices(*menu, QStringLiteral("Backspace Sends"),
              {{terminal::BackspaceSends::Delete, QStringLiteral("DEL (^?)")},
               {terminal::BackspaceSends::Backspace, QStringLiteral("BS (^H)")}},
              surface_.backspace(), [this](terminal::BackspaceSends sends) { surface_.set_backspace(sends); });
  return menu;
}

// The sizes offered, and the one in effect when it is another (set in the settings file).
std::vector<std::pair<TerminalSize, QString>> TerminalWidget::size_choices() const {
  std::vector<std::pair<TerminalSize, QString>> choices;
  for (const TerminalSize size : kOfferedSizes) choices.emplace_back(size, size_text(size));
  const TerminalSize current = surface_.size();
  const auto offered = [&](const auto& choice) { return choice.first == current; };
  if (std::none_of(choices.begin(), choices.end(), offered)) choices.emplace_back(current, size_text(current));
  return choices;
}

void TerminalWidget::contextMenuEvent(QContextMenuEvent* event) {
  QMenu* menu = make_menu(this);
  menu->setAttribute(Qt::WA_DeleteOnClose);
  menu->popup(event->globalPos());
}

// ---- Focus, size, palette ----

void TerminalWidget::resizeEvent(QResizeEvent* event) {
  QFrame::resizeEvent(event);
  const QRect inside = contentsRect();
  const int bar = scroll_bar_->sizeHint().width();
  scroll_bar_->setGeometry(inside.right() + 1 - bar, inside.top(), bar, inside.height());
  fit_font();
  sync_scroll_bar();
  update();
}

void TerminalWidget::focusInEvent(QFocusEvent* event) {
  QFrame::focusInEvent(event);
  refresh();
}

void TerminalWidget::focusOutEvent(QFocusEvent* event) {
  QFrame::focusOutEvent(event);
  refresh();
}

void TerminalWidget::changeEvent(QEvent* event) {
  QFrame::changeEvent(event);
  if (event->type() == QEvent::PaletteChange) set_up_page();  // the selection's colours changed
}

}  // namespace platform
