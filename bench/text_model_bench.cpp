// The trace display's text model under the load of the receive pump: one tick of the hexadecimal
// view is two blocks of 2048 bytes shown as " %02X" text, 6144 characters each, in the receive
// colours of the two ports, appended at the end of a text that has no LF at all.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <memory>
#include <random>
#include <string>

#include "platform/text_model.h"

namespace {

constexpr platform::Colour kPortA = 0x0000FF00;
constexpr platform::Colour kPortB = 0x00FFFF00;

const std::string& hex_block() {
  static const std::string block = [] {
    std::string text;
    for (int i = 0; i < 2048; ++i) {
      static constexpr char kDigits[] = "0123456789ABCDEF";
      text += ' ';
      text += kDigits[(i >> 4) & 15];
      text += kDigits[i & 15];
    }
    return text;
  }();
  return block;
}

void pump_tick(platform::TextModel& model) {
  model.set_insert_colour(kPortA);
  model.replace_selection(hex_block());
  model.set_insert_colour(kPortB);
  model.replace_selection(hex_block());
}

// At the cap the row count stays within a page below it, so "full" means within that page.
void fill_to(platform::TextModel& model, int rows) {
  while (model.line_count() <= rows - platform::kDisplayPageRows) pump_tick(model);
}

std::size_t heap_in_use() {
  const struct mallinfo2 info = mallinfo2();
  return info.uordblks + info.hblkhd;
}

void BM_TickIntoEmpty(benchmark::State& state) {
  platform::TextModel model;
  for (auto _ : state) {
    state.PauseTiming();
    model.set_text("");
    state.ResumeTiming();
    pump_tick(model);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * 2 * 6144);
}
BENCHMARK(BM_TickIntoEmpty);

void BM_TickAt10kRows(benchmark::State& state) {
  platform::TextModel model;
  fill_to(model, 10000);
  for (auto _ : state) {
    if (model.line_count() > 11000) {
      state.PauseTiming();
      model.set_text("");
      fill_to(model, 10000);
      state.ResumeTiming();
    }
    pump_tick(model);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * 2 * 6144);
}
BENCHMARK(BM_TickAt10kRows);

// At the cap every tick also drops the oldest pages.
void BM_TickAtCap(benchmark::State& state) {
  const std::size_t before = heap_in_use();
  auto model = std::make_unique<platform::TextModel>();
  fill_to(*model, model->max_rows());
  pump_tick(*model);
  for (auto _ : state) pump_tick(*model);
  state.counters["rows"] = model->line_count();
  state.counters["model_MB"] = static_cast<double>(heap_in_use() - before) / (1024.0 * 1024.0);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * 2 * 6144);
}
BENCHMARK(BM_TickAtCap);

// Typing and erasing in the middle of a full model of short LF-ended lines (the ANSI view): an edit
// rewraps only its own line, so the cost must not grow with the text.
void BM_EditInMiddleAtCap(benchmark::State& state) {
  platform::TextModel model;
  std::string lines;
  for (int i = 0; i < 1000; ++i) lines += "Rx1 12345 some received text of a frame line\n";
  while (model.line_count() <= model.max_rows() - platform::kDisplayPageRows) model.replace_selection(lines);
  const int middle = model.line_index(model.line_count() / 2) + 10;
  for (auto _ : state) {
    model.set_selection(middle, middle);
    model.type_char('x');
    model.backspace();
  }
}
BENCHMARK(BM_EditInMiddleAtCap);

// What the views and the painter ask of a full model.
void BM_LineQueriesAtCap(benchmark::State& state) {
  platform::TextModel model;
  fill_to(model, model.max_rows());
  std::mt19937 rng(7);
  std::uniform_int_distribution<int> position(0, model.text_length());
  std::uniform_int_distribution<int> row(0, model.line_count() - 1);
  for (auto _ : state) {
    const int line = model.line_from_char(position(rng));
    benchmark::DoNotOptimize(model.line_index(line) + model.line_length(model.line_index(row(rng))) +
                             model.line_count() + model.text_length());
  }
}
BENCHMARK(BM_LineQueriesAtCap);

// One visible page painted: 25 rows of text and colours.
void BM_PaintPageAtCap(benchmark::State& state) {
  platform::TextModel model;
  fill_to(model, model.max_rows());
  std::mt19937 rng(11);
  std::uniform_int_distribution<int> top(0, model.line_count() - platform::kDisplayPageRows);
  platform::Colour colours[platform::kDisplayColumns + 1];
  for (auto _ : state) {
    const int first = top(rng);
    for (int r = first; r < first + platform::kDisplayPageRows; ++r) {
      benchmark::DoNotOptimize(model.row_text(r));
      model.row_colours(r, colours, platform::kDisplayColumns + 1);
    }
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_PaintPageAtCap);

}  // namespace
