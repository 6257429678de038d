// Console list output on unit 6: each statement's lines are laid out whole
// and then placed in the console buffer.
#include <cstring>

#include "frame_state.h"

namespace cdmg {

using namespace frame;

void ConsoleLine::end() {
  line_.end();
  Statement statement(kOutputUnit, kListIo, Direction::writing);
  Unit &u = units[kOutputUnit];
  OutputBuffer &out = *u.output;
  std::string_view rest = text_;
  while (!rest.empty()) {
    std::size_t used = out.committed.load(std::memory_order_relaxed);
    if (used == out.capacity) {
      static_cast<void>(flush_output(u)); // console writes are not examined
      used = 0;
    }
    const std::size_t n = rest.size() < out.capacity - used ? rest.size() : out.capacity - used;
    std::memcpy(out.data + used, rest.data(), n);
    out.committed.store(used + n, std::memory_order_release);
    rest.remove_prefix(n);
  }
  if (u.flush_each_line) static_cast<void>(flush_output(u));
}

void flush_console() {
  static_cast<void>(flush_output(units[kOutputUnit]));
}

} // namespace cdmg
