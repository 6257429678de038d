// Console list output statements on unit 6.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "edit.h"
#include "report.h"

namespace cdmg {

// One console list output statement: its lines are laid out whole, then
// handed to the console buffer.
class ConsoleLine {
public:
  explicit ConsoleLine(Io &io) : io_(io), line_(text_) {}
  ConsoleLine &text(std::string_view item) {
    line_.text(item);
    return *this;
  }
  ConsoleLine &integer(std::int32_t value) {
    line_.integer(value);
    return *this;
  }
  ConsoleLine &real(float value) {
    line_.real(value);
    return *this;
  }
  void end() {
    line_.end();
    Statement statement(io_, kOutputUnit, kListIo, Direction::writing);
    io_.frame().write_console(text_);
  }

private:
  Io &io_;
  std::string text_;
  ListLine line_;
};

} // namespace cdmg
