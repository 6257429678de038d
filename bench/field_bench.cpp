// Per-field costs of the conversion: reading a real field, editing a value.
#include <benchmark/benchmark.h>

#include <string>

#include "edit.h"
#include "fields.h"
#include "writer.h"

namespace {

void read_data_record(benchmark::State &state, const std::string &record) {
  const cdmg::RecordView view{record.data(), record.size(), true};
  for (auto _ : state) {
    std::size_t pos = 0;
    for (int f = 0; f < 8; ++f) benchmark::DoNotOptimize(cdmg::read_real_field(view, pos));
  }
  state.SetItemsProcessed(state.iterations() * 8);
}

void BM_ReadFieldsExponent(benchmark::State &state) {
  read_data_record(state, " 3.8688E-1-1.9160E+0 2.1234E+1-5.5500E-2 1.0000E+0-2.2222E+2 "
                          "4.4444E-3-7.7777E+1");
}
BENCHMARK(BM_ReadFieldsExponent);

void BM_ReadFieldsFixed(benchmark::State &state) {
  read_data_record(state, "     -.787      .123    12.345   -99.999     1.000     0.000"
                          "     3.142    -2.718");
}
BENCHMARK(BM_ReadFieldsFixed);

void BM_EditF10(benchmark::State &state) {
  char field[10];
  float value = -123.4567f;
  for (auto _ : state) {
    cdmg::edit_f3(field, 10, value);
    benchmark::DoNotOptimize(field);
    value += 0.001f;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_EditF10);

void BM_FormatRow(benchmark::State &state) {
  char row[cdmg::kRowBytes];
  std::int32_t i = 1;
  for (auto _ : state) {
    cdmg::format_row(row, i, 0.01f, 1.234f, -0.5678f, 12.5f);
    benchmark::DoNotOptimize(row);
    i = i % 33000 + 1;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_FormatRow);

} // namespace

BENCHMARK_MAIN();
