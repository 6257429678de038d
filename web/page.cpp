// The browser page's way into the program, in two calls. cdmg_facts gives
// what the library fixes and the page shows: the component file names and
// the prompt. cdmg_run runs the conversion on an in-memory working folder,
// as the console program runs in a folder, and hands back one result that
// the script reads in one pass: how the run ended, the standard streams,
// every file and the samples.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "analysis.h"
#include "run.h"

namespace {

// A pointer as the script indexes memory: WebAssembly's are 32 bits.
std::uint32_t address(const void *pointer) {
  return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(pointer));
}

void add_span(std::vector<std::uint32_t> &words, std::string_view text) {
  words.push_back(address(text.data()));
  words.push_back(static_cast<std::uint32_t>(text.size()));
}

struct Session {
  cdmg::MemoryFolder folder;
  cdmg::Samples samples{};
  cdmg::FolderOutcome outcome;
  std::map<std::string, std::string> files; // after the run
  std::vector<std::uint32_t> result;
  std::vector<double> analysis;
};

std::unique_ptr<Session> session;

// Takes a 32-bit little-endian count or length from the request.
std::uint32_t take_word(const char *&at) {
  std::uint32_t word = 0;
  std::memcpy(&word, at, sizeof word);
  at += sizeof word;
  return word;
}

std::string take_text(const char *&at, std::uint32_t length) {
  std::string text(at, length);
  at += length;
  return text;
}

} // namespace

extern "C" {

// Words: the count of components (3), each name as (address, length), then
// the prompt as (address, length).
const std::uint32_t *cdmg_facts() {
  static const std::vector<std::uint32_t> facts = [] {
    std::vector<std::uint32_t> words{static_cast<std::uint32_t>(std::size(cdmg::kComponentFiles))};
    for (const std::string_view name : cdmg::kComponentFiles) add_span(words, name);
    add_span(words, cdmg::kOutputPrompt);
    return words;
  }();
  return facts.data();
}

// The request: the file count, then each file's name length, bytes length,
// name and bytes, then the input's length and bytes. The result, words:
// aborted (0 or 1), the exit status, the rows (-1 after an abnormal end),
// the table's index among the files (-1 for none), the file count; standard
// output and standard error as (address, length); the three sample arrays'
// addresses; then each file's name and bytes as (address, length) pairs. It
// stays valid until the next run.
const std::uint32_t *cdmg_run(const char *request) {
  session = std::make_unique<Session>();
  Session &s = *session;
  const char *at = request;
  for (std::uint32_t count = take_word(at); count > 0; --count) {
    const std::uint32_t name_length = take_word(at);
    const std::uint32_t length = take_word(at);
    std::string name = take_text(at, name_length);
    s.folder.add_file(name, take_text(at, length));
  }
  s.folder.set_input(take_text(at, take_word(at)));
  s.outcome = cdmg::run_in_folder(s.folder, s.samples);
  s.files = s.folder.files();
  const std::int32_t rows = s.outcome.nt;
  std::uint32_t table = ~0u;
  std::uint32_t index = 0;
  for (const auto &file : s.files) {
    if (rows >= 0 && file.first == s.folder.last_opened()) table = index;
    ++index;
  }
  std::vector<std::uint32_t> &words = s.result;
  words = {s.outcome.ended.aborted ? 1u : 0u, static_cast<std::uint32_t>(s.outcome.ended.status),
           static_cast<std::uint32_t>(rows), table, static_cast<std::uint32_t>(s.files.size())};
  add_span(words, s.outcome.out);
  add_span(words, s.outcome.err);
  for (const float *samples : {s.samples.x, s.samples.y, s.samples.z})
    words.push_back(address(samples));
  for (const auto &[name, bytes] : s.files) {
    add_span(words, name);
    add_span(words, bytes);
  }
  return words.data();
}

// The analysis of the last run's samples, which stay where the run left
// them. The request, doubles: the interval, the unit in m/s², the count of
// dampings and each, the count of periods (0: the default ones) and each.
// The result, doubles: the rows, the count of dampings, the count of
// periods; each component's problem (0 none, 1 no rows, 2 all zero, 3 not
// finite), its first non-finite row, PGA, PGV and PGD (each value and
// time), Arias intensity, D5-75, D5-95, CAV and CAV in g s; the periods; for
// each damping, it, each component's Sd, Sv, Sa, PSV and PSA (zeros for one
// with a problem), RotD50 and RotD100 (zeros unless both horizontal
// components have none); then each row's time and each component's
// velocity and displacement. It stays valid until the next call.
const double *cdmg_analyse(const double *request) {
  namespace an = cdmg::analysis;
  Session &s = *session;
  const auto rows = static_cast<std::size_t>(s.outcome.nt > 0 ? s.outcome.nt : 0);
  const double dt = request[0];
  const double unit = request[1];
  const auto dampings = std::span<const double>(request + 3, static_cast<std::size_t>(request[2]));
  const double *at = request + 3 + dampings.size();
  std::vector<double> periods(at + 1, at + 1 + static_cast<std::size_t>(at[0]));
  if (periods.empty()) periods = an::default_periods();
  std::vector<double> samples[3];
  const float *sources[3] = {s.samples.x, s.samples.y, s.samples.z};
  bool usable[3];
  std::vector<double> &out = s.analysis;
  out = {static_cast<double>(rows), static_cast<double>(dampings.size()),
         static_cast<double>(periods.size())};
  for (int c = 0; c < 3; ++c) {
    samples[c].assign(sources[c], sources[c] + rows);
    const an::Measures m = an::measures(samples[c], dt, unit);
    usable[c] = m.problem == an::Problem::none;
    out.insert(out.end(), {static_cast<double>(m.problem), static_cast<double>(m.problem_row),
                           m.pga.value, m.pga.time, m.pgv.value, m.pgv.time, m.pgd.value,
                           m.pgd.time, m.arias, m.d5_75, m.d5_95, m.cav, m.cav_g});
  }
  out.insert(out.end(), periods.begin(), periods.end());
  const an::Spectrum none{std::vector<double>(periods.size()), std::vector<double>(periods.size()),
                          std::vector<double>(periods.size()), std::vector<double>(periods.size()),
                          std::vector<double>(periods.size())};
  const auto append = [&](const an::Spectrum &spectrum) {
    for (const std::vector<double> *q :
         {&spectrum.sd, &spectrum.sv, &spectrum.sa, &spectrum.psv, &spectrum.psa})
      out.insert(out.end(), q->begin(), q->end());
  };
  for (const double zeta : dampings) {
    out.push_back(zeta);
    std::vector<double> rotd50(periods.size());
    std::vector<double> rotd100(periods.size());
    if (usable[0] && usable[1]) {
      const an::Horizontal h = an::horizontal(samples[0], samples[1], dt, periods, zeta);
      append(h.first);
      append(h.second);
      rotd50 = h.rotd50;
      rotd100 = h.rotd100;
    } else {
      for (int c = 0; c < 2; ++c)
        append(usable[c] ? an::spectrum(samples[c], dt, periods, zeta) : none);
    }
    append(usable[2] ? an::spectrum(samples[2], dt, periods, zeta) : none);
    out.insert(out.end(), rotd50.begin(), rotd50.end());
    out.insert(out.end(), rotd100.begin(), rotd100.end());
  }
  for (std::size_t i = 0; i < rows; ++i) out.push_back(static_cast<double>(i) * dt);
  std::vector<double> v(rows);
  std::vector<double> d(rows);
  for (int c = 0; c < 3; ++c) {
    an::integrate(samples[c], dt, v, d);
    out.insert(out.end(), v.begin(), v.end());
    out.insert(out.end(), d.begin(), d.end());
  }
  return out.data();
}

} // extern "C"
