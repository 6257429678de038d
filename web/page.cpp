// The browser page's way into the program: one run of the conversion on an
// in-memory working folder, as the console program runs in a folder. The
// page's script fills the folder and the standard input, runs, and reads
// back the standard streams, how the run ended, every file and the samples.
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <map>
#include <memory>
#include <string>

#include "memory_folder.h"
#include "run.h"

namespace {

struct Session {
  cdmg::MemoryFolder folder;
  cdmg::Samples samples{};
  cdmg::FolderOutcome outcome;
  std::map<std::string, std::string> files; // after the run
};

std::unique_ptr<Session> session;

// The bytes of result `index`: 0 standard output, 1 standard error, then
// the files by name.
const std::string *result(int index) {
  if (index == 0) return &session->outcome.out;
  if (index == 1) return &session->outcome.err;
  if (index < 2 || static_cast<std::size_t>(index - 2) >= session->files.size()) return nullptr;
  return &std::next(session->files.begin(), index - 2)->second;
}

} // namespace

extern "C" {

// A fresh folder, empty standard input.
void cdmg_begin() {
  session = std::make_unique<Session>();
}

void cdmg_add_file(const char *name, std::size_t name_length, const char *bytes,
                   std::size_t length) {
  session->folder.add_file(std::string(name, name_length), std::string(bytes, length));
}

void cdmg_set_input(const char *bytes, std::size_t length) {
  session->folder.set_input(std::string(bytes, length));
}

// Runs; returns how many results there are.
int cdmg_convert() {
  session->outcome = cdmg::run_in_folder(session->folder, session->samples);
  session->files = session->folder.files();
  return static_cast<int>(2 + session->files.size());
}

int cdmg_aborted() {
  return session->outcome.ended.aborted ? 1 : 0;
}
int cdmg_exit_status() {
  return session->outcome.ended.status;
}
// The rows of the table, after a normal end; -1 otherwise.
int cdmg_rows() {
  return session->outcome.nt;
}
// The table's name in the folder, after a normal end: the file the run
// opened last.
const char *cdmg_table_name() {
  return session->folder.last_opened().c_str();
}
// The sample array of a component (0 to 2), positions from 1 on.
const float *cdmg_samples(int component) {
  cdmg::Samples &s = session->samples;
  return component == 0 ? s.x : component == 1 ? s.y : s.z;
}

const char *cdmg_result_name(int index) {
  return index < 2 ? "" : std::next(session->files.begin(), index - 2)->first.c_str();
}
std::size_t cdmg_result_name_length(int index) {
  return index < 2 ? 0 : std::next(session->files.begin(), index - 2)->first.size();
}
const char *cdmg_result_bytes(int index) {
  const std::string *bytes = result(index);
  return bytes ? bytes->data() : nullptr;
}
std::size_t cdmg_result_length(int index) {
  const std::string *bytes = result(index);
  return bytes ? bytes->size() : 0;
}

} // extern "C"
