// The whole run over arbitrary bytes on the in-memory system: three
// component files, the console input and a fault plan, split at "|||". An
// older table may stand under the typed name. Whatever happens, the run ends
// normally with an empty standard error and 42 x nt well-formed rows, or
// with one report or one handler message; no component file changes, and an
// older table is untouched, the rows, or a prefix of the rows with nothing
// of the older file after it.
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "memory_system.h"

namespace {

using cdmg::testing::Call;
using cdmg::testing::Fault;
using cdmg::testing::MemorySystem;

const char *const kComponents[] = {"WKZ-base-N022.txt", "WKZ-base-N292.txt", "WKZ-base-UP.txt"};

// A broken invariant: says which, then ends the run as a finding.
#define require(condition)                                                                         \
  do {                                                                                             \
    if (!(condition)) {                                                                            \
      std::fprintf(stderr, "fuzz_run.cpp:%d: %s\n", __LINE__, #condition);                         \
      std::abort();                                                                                \
    }                                                                                              \
  } while (false)

// An F field: blanks, an optional minus, digits, a point and three digits;
// or asterisks; or an infinity.
bool field_shape(std::string_view f) {
  if (f.find_first_not_of('*') == std::string_view::npos) return true;
  std::size_t k = f.find_first_not_of(' ');
  if (k == std::string_view::npos) return false;
  std::string_view text = f.substr(k);
  if (text[0] == '-') text.remove_prefix(1);
  if (text == "inf") return true;
  if (text.size() < 5 || text[text.size() - 4] != '.') return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (i != text.size() - 4 && (text[i] < '0' || text[i] > '9')) return false;
  }
  return true;
}

bool rows_shape(std::string_view table) {
  if (table.size() % 42 != 0) return false;
  for (std::size_t r = 0; r < table.size(); r += 42) {
    const std::string_view row = table.substr(r, 42);
    if (row[7] != ',' || row[18] != ',' || row[29] != ',' || row.substr(40) != "\r\n") return false;
    if (!field_shape(row.substr(0, 7)) || !field_shape(row.substr(8, 10)) ||
        !field_shape(row.substr(19, 10)) || !field_shape(row.substr(30, 10)))
      return false;
  }
  return true;
}

// The name the program must have used: the first line of the console input,
// its first 80 characters, less trailing blanks.
std::string typed_name(std::string_view input) {
  std::size_t end = input.find_first_of(std::string_view("\n\x1a", 2));
  std::string line(input.substr(0, end));
  if (end != std::string_view::npos && input[end] == '\n' && !line.empty() && line.back() == '\r')
    line.pop_back();
  line = line.substr(0, 80);
  while (!line.empty() && line.back() == ' ') line.pop_back();
  return line;
}

// Four bytes a fault: the call, which one, what goes wrong, a detail.
std::vector<Fault> fault_plan(std::string_view bytes, bool &disturbs_cut_back) {
  static constexpr int kErrors[] = {EIO, ENOSPC, EFBIG, EACCES, EINTR, ENOENT};
  static constexpr int kSignals[] = {SIGINT, SIGTERM, SIGFPE, SIGABRT};
  std::vector<Fault> plan;
  disturbs_cut_back = false;
  for (std::size_t k = 0; k + 4 <= bytes.size() && plan.size() < 8; k += 4) {
    const auto b = [&](std::size_t i) { return static_cast<unsigned char>(bytes[k + i]); };
    Fault fault{static_cast<Call>(b(0) % cdmg::testing::kCallKinds), 1 + b(1) % 32};
    switch (b(2) % 3) {
    case 0:
      fault.error = kErrors[b(3) % 6];
      break;
    case 1:
      fault.limit = 1 + b(3) % 64;
      break;
    default:
      fault.signal = kSignals[b(3) % 4];
      fault.before_work = (b(3) & 4) != 0;
      break;
    }
    if (fault.call == Call::position || fault.call == Call::size || fault.call == Call::cut_back ||
        fault.signal != 0)
      disturbs_cut_back = true;
    plan.push_back(fault);
  }
  return plan;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  std::string_view rest(reinterpret_cast<const char *>(data), size);
  std::vector<std::string_view> parts;
  for (int k = 0; k < 4; ++k) {
    const std::size_t cut = rest.find("|||");
    if (cut == std::string_view::npos) break;
    parts.push_back(rest.substr(0, cut));
    rest.remove_prefix(cut + 3);
  }
  parts.push_back(rest);
  // The parts: up to three components, the console input, the fault plan.
  std::string_view plan_bytes;
  if (parts.size() == 5) {
    plan_bytes = parts.back();
    parts.pop_back();
  }
  const std::string input(parts.back());
  parts.pop_back();

  MemorySystem system;
  for (std::size_t k = 0; k < parts.size(); ++k)
    system.add_file(kComponents[k], std::string(parts[k]));
  system.set_input(input);
  const std::string name = typed_name(input);
  // An older table, longer than most tables: its tail must never survive
  // unnoticed.
  const std::string older(5000, 'O');
  const bool has_older = !name.empty() && name.find('/') == std::string::npos &&
                         !system.exists(name) && (input.size() % 2 == 0);
  if (has_older) system.add_file(name, older);
  bool disturbs_cut_back = false;
  for (const Fault &fault : fault_plan(plan_bytes, disturbs_cut_back)) system.plan(fault);
  system.spare_error_stream();
  const auto before = system.files();

  const auto outcome = cdmg::testing::run_in_memory(system);

  // Reading never changes a component; a table typed over one may.
  for (std::size_t k = 0; k < parts.size(); ++k) {
    if (name != kComponents[k]) require(system.bytes(kComponents[k]) == before.at(kComponents[k]));
  }
  const std::string &err = outcome.err;
  if (std::getenv("CDMG_FUZZ_VERBOSE")) {
    // For a finding: what the run met and said.
    std::fprintf(stderr, "name [%s], older table %d, nt %d, aborted %d, status %d\n", name.c_str(),
                 has_older, outcome.nt, outcome.ended.aborted, outcome.ended.status);
    for (const Fault &f : fault_plan(plan_bytes, disturbs_cut_back)) {
      std::fprintf(stderr, "fault: call %d, nth %d, error %d, limit %zu, signal %d%s\n",
                   static_cast<int>(f.call), f.nth, f.error, f.limit, f.signal,
                   f.before_work ? " before its work" : "");
    }
    std::fprintf(stderr, "standard error:\n%s", err.c_str());
  }
  const bool by_handler = err == "Interrupt\n" || err == "Killed\n" ||
                          err == "Floating Exception\n" || err == "IOT Trap\n";
  // A handler that ran just as an opening succeeded never saw the new
  // descriptor; the process's end closes it.
  require(system.open_descriptors() == 0 || by_handler);
  if (outcome.nt >= 0) {
    // A normal end: nothing on standard error, every row.
    require(err.empty() && !outcome.ended.aborted && outcome.ended.status == 0);
    require(outcome.nt <= 33000 && outcome.nt % 8 == 0);
    // No rows leave a file that was there as it was (an older table, or a
    // component typed as the name).
    const auto was_there = before.find(name);
    if (outcome.nt == 0 && was_there != before.end()) {
      require(system.bytes(name) == was_there->second);
    } else {
      const std::string &table = system.bytes(name);
      require(table.size() == 42u * static_cast<std::size_t>(outcome.nt) && rows_shape(table));
    }
  } else if (by_handler) {
    require(outcome.ended.aborted == (err == "Floating Exception\n" || err == "IOT Trap\n"));
  } else {
    // One complete report: its state line ends it, and no second report began.
    require(outcome.ended.aborted);
    require(err.size() >= 4 && err.compare(err.size() - 4, 4, " IO\n") == 0);
    // A typed name may hold any text, but never a line feed.
    const char *const unit_line = "\napparent state: unit ";
    require(err.find(unit_line) != std::string::npos);
    require(err.find(unit_line) == err.rfind(unit_line));
  }
  if (has_older && outcome.nt < 0 && system.exists(name)) {
    const std::string &table = system.bytes(name);
    if (table != older) {
      // A prefix of the rows, with (part of) the older file after it only
      // where its cut-back was made to fail or a handler stopped the run.
      const bool tail_may_stay = err.rfind("endfile:", 0) == 0 || disturbs_cut_back;
      const std::size_t end =
          tail_may_stay ? std::min(table.find('O'), table.size()) : table.size();
      // Whole rows, then perhaps the start of one whose write failed.
      const std::size_t whole = end / 42 * 42;
      require(rows_shape(std::string_view(table).substr(0, whole)));
      require(table.find_first_not_of(" 0123456789.,-*inf\r\n", whole) >= end);
      require(end == table.size() ||
              (end < older.size() &&
               table.compare(end, std::string::npos, older, end, table.size() - end) == 0));
    }
  }
  return 0;
}
