#include "run.h"

#include <cstdlib>
#include <cstring>

#include "list_line.h"
#include "process.h"
#include "reader.h"
#include "signals.h"
#include "writer.h"

namespace cdmg {

namespace {

void set_text(char *field, std::string_view text) {
  std::memset(field, ' ', kTextWidth);
  std::memcpy(field, text.data(), text.size());
}

std::string_view text_of(const char *field) {
  return {field, kTextWidth};
}

} // namespace

void run(int argc, char **argv) {
  process::install_fault_handler();
  process::reset_floating_point();
  static_cast<void>(argc); // the arguments are recorded nowhere and never used
  static_cast<void>(argv);
  process::prepare_standard_streams();
  // Never destroyed: a handler may still run while the process exits.
  static Frame &frame = *new Frame(native_system());
  install_signal_handlers(frame);
  static_cast<void>(std::atexit([] { frame.close_all(ClosingCause::normal); }));
  static Samples samples;
  // The arrays' pages asked for in one call, rather than one page fault each.
  process::populate_pages(&samples, sizeof samples);
  run_sequence(frame, samples);
  std::exit(0);
}

std::int32_t run_sequence(Frame &frame, Samples &samples) {
  Io io(frame);
  char infile1[kTextWidth];
  char infile2[kTextWidth];
  char infile3[kTextWidth];
  io.console(ListLine().text("Program for Reading CDMG-TYpe Strong Motion Data").end());
  io.console(ListLine().end());
  io.console(ListLine().text("Enter 1st File Name of 3 Components").end());
  io.console(ListLine().text("Enter 2nd File Name of 3 Components").end());
  io.console(ListLine().text("Enter 3rd File Name of 3 Components").end());
  set_text(infile1, kComponentFiles[0]);
  set_text(infile2, kComponentFiles[1]);
  set_text(infile3, kComponentFiles[2]);
  const float dt = kSampleInterval;
  io.console(ListLine().text(" assumed dt =").real(dt).end());
  // Each component leaves its count; the third's is the one that counts.
  read_component(io, text_of(infile1), samples.x);
  read_component(io, text_of(infile2), samples.y);
  const std::int32_t nt = read_component(io, text_of(infile3), samples.z);
  io.console(ListLine().end());
  io.console(ListLine().text(kOutputPrompt).end());
  io.flush_console(); // the person must see the prompt before we wait
  io.read_text_record(kInputUnit, infile1);
  write_table(io, text_of(infile1), nt, dt, samples.x, samples.y, samples.z);
  return nt;
}

FolderOutcome run_in_folder(MemoryFolder &folder, Samples &samples,
                            const std::function<void(Frame &)> &prepare) {
  Frame frame(folder);
  if (prepare) prepare(frame);
  FolderOutcome outcome;
  try {
    const std::int32_t nt = run_sequence(frame, samples);
    frame.close_all(ClosingCause::normal);
    outcome.nt = nt;
    outcome.ended = Ended{false, 0};
  } catch (const Ended &ended) {
    outcome.ended = ended;
  }
  outcome.out = folder.out();
  outcome.err = folder.err();
  return outcome;
}

} // namespace cdmg
