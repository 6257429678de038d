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

// Whole 80-column records in one pass, as the reader takes them.
void read_full_record(benchmark::State &state, const std::string &record) {
  float values[8];
  for (auto _ : state) {
    benchmark::DoNotOptimize(cdmg::read_full_record_fields(record.data(), values));
    benchmark::DoNotOptimize(values);
  }
  state.SetItemsProcessed(state.iterations() * 8);
}

struct RecordCase {
  const char *name;
  void (*read)(benchmark::State &, const std::string &);
  const char *record;
};
const RecordCase kRecordCases[] = {
    {"BM_ReadFieldsExponent", read_data_record,
     " 3.8688E-1-1.9160E+0 2.1234E+1-5.5500E-2 1.0000E+0-2.2222E+2 4.4444E-3-7.7777E+1"},
    {"BM_ReadFieldsFixed", read_data_record,
     "     -.787      .123    12.345   -99.999     1.000     0.000     3.142    -2.718"},
    {"BM_FullRecordSmc", read_full_record,
     " 3.8688E-1-1.9160E+0 2.1234E+1-5.5500E-2 1.0000E+0-2.2222E+2 4.4444E-3-7.7777E+1"},
    {"BM_FullRecordCdmg", read_full_record,
     "0.0000E+00-.3298E-03-.1033E-03-.1662E-02-.3595E-02-.1597E-01-.3064E-01-.5082E-01"},
    {"BM_FullRecordFixed", read_full_record,
     "     -.787      .123    12.345   -99.999     1.000     0.000     3.142    -2.718"},
    {"BM_FullRecordFixedFourDecimals", read_full_record,
     "   -0.0138   54.5160    1.2345  -12.3456    0.0000   -0.0001   99.9999 -999.9999"},
    {"BM_FullRecordFixedSixDecimals", read_full_record,
     "  0.123456 -0.000123  1.500000 -2.718282  0.000000 -0.987654  3.141593 -1.000001"},
    // Fixed point with other spellings field by field: an exponent, a plus,
    // a left-justified field, implied decimals.
    {"BM_FullRecordMixed", read_full_record,
     "   -0.0138 3.9380E+1  +43.0246123.4567      123456   54.5160    1.2345  -12.3456"},
};
const bool kRecordCasesRegistered = [] {
  for (const RecordCase &c : kRecordCases) {
    benchmark::RegisterBenchmark(c.name, c.read, std::string(c.record));
  }
  return true;
}();

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

void BM_FormatFourRows(benchmark::State &state) {
  char rows[4 * cdmg::kRowBytes];
  // Row i takes x[i - 1]: the values at 1 to 4 repeat the first four.
  const float x[8] = {1.234f, -0.5678f, 12.5f, -300.001f, 1.234f, -0.5678f, 12.5f, -300.001f};
  const float y[8] = {-0.001f, 0.0f, 999.999f, 3.14159f, -0.001f, 0.0f, 999.999f, 3.14159f};
  const float z[8] = {42.0f, -42.0f, 0.0005f, -0.0005f, 42.0f, -42.0f, 0.0005f, -0.0005f};
  for (auto _ : state) {
    cdmg::edit_counted_times(rows, 1, 4);
    benchmark::DoNotOptimize(cdmg::edit_value_blocks(rows, 1, x, y, z));
    benchmark::DoNotOptimize(rows);
  }
  state.SetItemsProcessed(state.iterations() * 4);
}
BENCHMARK(BM_FormatFourRows);

} // namespace

BENCHMARK_MAIN();
