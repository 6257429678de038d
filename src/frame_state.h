// State of the I/O frame that its three parts share: the units with their
// buffers (units.cpp), console output (console.cpp) and the failure report
// (report.cpp). Not for the rest of the program, which uses units.h.
#pragma once

#include <atomic>
#include <csignal>
#include <cstddef>
#include <cstdint>

#include "shared_types.h"
#include "text_input.h"
#include "units.h"

namespace cdmg::frame {

inline constexpr int kUnitCount = 100;

// A unit's output: statements are placed after `committed` and count once
// committed, so that a signal handler never writes half a row. The run
// writes [written, committed) and then starts the buffer again; while a
// write is under way `in_flight_end` marks where it ends, so that a handler
// knows which bytes may have reached the file already.
struct OutputBuffer {
  char *data = nullptr;
  std::size_t capacity = 0;
  std::atomic<std::size_t> committed{0};
  std::atomic<std::size_t> written{0};
  std::atomic<std::size_t> in_flight_end{0};
  // The file offset of data[0], for a handler's positioned writes.
  std::int64_t base = 0;

  // Needs no signal hold: in this order a handler that looks in between
  // finds nothing to write (no byte committed, then none in flight, then
  // none confirmed), and the new base is seen only with bytes committed
  // after it.
  void restart(std::int64_t at) {
    committed.store(0, std::memory_order_release);
    in_flight_end.store(0, std::memory_order_release);
    written.store(0, std::memory_order_release);
    std::atomic_signal_fence(std::memory_order_seq_cst);
    base = at;
  }
};
// A handler reads these at any instruction of the run: they must never be
// a lock or a torn value.
static_assert(std::atomic<std::size_t>::is_always_lock_free);

struct Unit {
  TextInput *input = nullptr;
  OutputBuffer *output = nullptr;
  std::size_t name_length = 0;
  int fd = -1;
  char name[kTextWidth + 1] = {};
  bool connected = false;
  bool named = false;
  bool repositionable = false;
  bool may_read = false;
  bool may_write = false;
  bool end_of_file = false;
  bool last_write = false;
  bool write_failed = false;
  bool flush_each_line = false;
};

extern Unit units[kUnitCount];
extern OutputBuffer console_output;

// Report state.
extern int current_unit;
extern bool format_current;
extern Format current_format;
extern Direction current_direction;

extern int error_stream_fd;
// Set while a signal handler closes the units: nothing may then block on a
// lock, report a failure or reach a call that is not async-signal-safe.
extern volatile std::sig_atomic_t closing_from_handler;

// Writes a unit's committed bytes; 0 or the system error.
int flush_output(Unit &u);

// Forgets that a report began (reset_units).
void reset_report();

} // namespace cdmg::frame
