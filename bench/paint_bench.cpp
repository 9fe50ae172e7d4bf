// Painting the trace display into an offscreen image: a full page of 26 rows of hexadecimal text in
// the four port colours. At 115200 bit/s on both ports a tick brings about 40 new rows, so every
// frame of a busy trace is a page whose rows were never painted before; a window uncovered with
// nothing new repaints the same page. The display alone is painted: its scroll bar is a widget of
// its own, repainted when it changes.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>

#include <random>
#include <string>

#include "platform/display_surface.h"
#include "platform/qt/screen_widget.h"

namespace {

constexpr platform::Colour kColours[] = {0x00FF0000, 0x0000FF00, 0x007F0000, 0x00007F00};
constexpr int kPages = 40;

QApplication& application() {
  static int argc = 1;
  static char name[] = "paint_bench";
  static char* argv[] = {name, nullptr};
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  static QApplication app(argc, argv);
  return app;
}

// Blocks of 1 to 8 bytes in one colour each, as two ports and their echoes interleave.
void fill(platform::DisplaySurface& surface, int rows) {
  std::mt19937 rng(5);
  std::uniform_int_distribution<int> colour(0, 3);
  std::uniform_int_distribution<int> run(1, 8);
  std::uniform_int_distribution<int> byte(0, 255);
  static constexpr char kDigits[] = "0123456789ABCDEF";
  while (surface.line_count() <= rows) {
    surface.set_insert_colour(kColours[colour(rng)]);
    std::string block;
    for (int i = run(rng); i > 0; --i) {
      const int value = byte(rng);
      block += ' ';
      block += kDigits[value >> 4];
      block += kDigits[value & 15];
    }
    surface.replace_selection(block);
  }
}

struct Page {
  Page() : app(application()), widget(surface) {
    widget.resize(660, 440);
    fill(surface, kPages * platform::ScreenWidget::kPaintedRows);
    surface.line_scroll(-surface.line_count());
  }

  void paint() { widget.render(&image, QPoint(), QRegion(), QWidget::RenderFlags()); }

  QApplication& app;
  platform::DisplaySurface surface;
  platform::ScreenWidget widget;
  QImage image{660, 440, QImage::Format_RGB32};
};

void BM_PaintNewPage(benchmark::State& state) {
  Page page;
  int shown = 0;
  for (auto _ : state) {
    const int step = ++shown % kPages == 0 ? -(kPages - 1) : 1;
    page.surface.line_scroll(step * platform::ScreenWidget::kPaintedRows);
    page.paint();
  }
}
BENCHMARK(BM_PaintNewPage)->Unit(benchmark::kMicrosecond);

void BM_PaintSamePage(benchmark::State& state) {
  Page page;
  page.paint();
  for (auto _ : state) page.paint();
}
BENCHMARK(BM_PaintSamePage)->Unit(benchmark::kMicrosecond);

}  // namespace
