#include "run.h"

#include <cstdlib>
#include <cstring>
#include <string_view>

#include "platform.h"
#include "reader.h"
#include "signals.h"
#include "units.h"
#include "writer.h"

namespace cdmg {

namespace {

// Run state, allocated once for the whole run.
float x[kCapacity];
float y[kCapacity];
float z[kCapacity];
// How far each array may hold samples of an earlier run in this process.
std::int32_t stored_x;
std::int32_t stored_y;
std::int32_t stored_z;
char infile1[kTextWidth];
char infile2[kTextWidth];
char infile3[kTextWidth];
float dt;
std::int32_t nt;

int argument_count;
char **arguments;

// Every position 0.0 again; only the part an earlier run may have stored
// needs it.
void clear_samples(float *samples, std::int32_t &stored) {
  std::memset(samples, 0, sizeof(float) * static_cast<std::size_t>(stored));
  stored = 0;
}

void set_text(char *field, std::string_view text) {
  std::memset(field, ' ', kTextWidth);
  std::memcpy(field, text.data(), text.size());
}

std::string_view text_of(const char *field) {
  return {field, kTextWidth};
}

void run_exit_time_closing() {
  exit_time_closing();
}

void read_output_name() {
  flush_console(); // the person must see the prompt before we wait
  read_text_record(kInputUnit, infile1);
}

} // namespace

void run(int argc, char **argv) {
  install_fault_handler();
  platform::reset_floating_point();
  argument_count = argc; // recorded, never used
  arguments = argv;
  install_signal_handlers();
  platform::prepare_standard_streams();
  connect_standard_units();
  // Without it a normal end still flushes: run_sequence closes every file.
  static_cast<void>(std::atexit(run_exit_time_closing));
  run_sequence();
  std::exit(0);
}

std::int32_t run_sequence() {
  clear_samples(x, stored_x);
  clear_samples(y, stored_y);
  clear_samples(z, stored_z);
  ConsoleLine().text("Program for Reading CDMG-TYpe Strong Motion Data").end();
  ConsoleLine().end();
  ConsoleLine().text("Enter 1st File Name of 3 Components").end();
  ConsoleLine().text("Enter 2nd File Name of 3 Components").end();
  ConsoleLine().text("Enter 3rd File Name of 3 Components").end();
  set_text(infile1, "WKZ-base-N022.txt");
  set_text(infile2, "WKZ-base-N292.txt");
  set_text(infile3, "WKZ-base-UP.txt");
  dt = 0.01f;
  ConsoleLine().text(" assumed dt =").real(dt).end();
  nt = read_component(text_of(infile1), x, stored_x);
  nt = read_component(text_of(infile2), y, stored_y);
  nt = read_component(text_of(infile3), z, stored_z);
  ConsoleLine().end();
  ConsoleLine().text("Enter Output Acceleration File Name (CSV format)").end();
  read_output_name();
  write_table(text_of(infile1), nt, dt, x, y, z);
  return nt;
}

} // namespace cdmg
