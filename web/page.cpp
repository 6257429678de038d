// The browser page's way into the program, in two calls. cdmg_facts gives
// what the library fixes and the page shows: the component file names and
// the prompt. cdmg_run runs the conversion on an in-memory working folder,
// as the console program runs in a folder, and hands back one result that
// the script reads in one pass: how the run ended, the standard streams,
// every file, the samples and the table's row times.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "run.h"
#include "writer.h"

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
  std::vector<float> times;
  std::vector<std::uint32_t> result;
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
// and the row times' addresses; then each file's name and bytes as
// (address, length) pairs. It stays valid until the next run.
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
  for (std::int32_t i = 1; i <= rows; ++i)
    s.times.push_back(cdmg::row_time(i, cdmg::kSampleInterval));
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
  words.push_back(address(s.times.data()));
  for (const auto &[name, bytes] : s.files) {
    add_span(words, name);
    add_span(words, bytes);
  }
  return words.data();
}

} // extern "C"
