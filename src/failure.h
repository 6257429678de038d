// What ends a run with the failure report: a system error number, or one of
// the run-time library's own error numbers, each with the word that names
// the failing operation.
#pragma once

namespace cdmg {

// The run-time error numbers that the program raises: each number, its name
// and its message. The report writes any other number as an illegal one.
#define CDMG_RUN_TIME_ERRORS(X)                                                                    \
  X(101, kIllegalUnitNumber, "illegal unit number")                                                \
  X(107, kNullFileName, "null file name")                                                          \
  X(111, kTruncationFailed, "truncation failed in endfile")                                        \
  X(115, kUnexpectedCharacter, "read unexpected character")                                        \
  X(125, kSubscriptOutOfBounds, "subscript out of bounds")                                         \
  X(127, kCannotWrite, "can't write file")

enum RunTimeError : int {
  kEndOfFile = -1, // its text is "end of file"
#define CDMG_NAME_ERROR(number, name, text) name = (number),
  CDMG_RUN_TIME_ERRORS(CDMG_NAME_ERROR)
#undef CDMG_NAME_ERROR
};

// The message of a run-time error number in the table; nullptr for any
// other number.
constexpr const char *run_time_message(int error) {
  switch (error) {
#define CDMG_ERROR_TEXT(number, name, text)                                                        \
  case (number):                                                                                   \
    return (text);
    CDMG_RUN_TIME_ERRORS(CDMG_ERROR_TEXT)
#undef CDMG_ERROR_TEXT
  default:
    return nullptr;
  }
}

// An operation that failed, or none (no context).
class Failure {
public:
  constexpr Failure() = default;
  // The system error number that the failing call set.
  static constexpr Failure system(int error, const char *context) { return {error, context, true}; }
  // -1 or a number that need not be in the table (the report says so).
  static constexpr Failure run_time(int error, const char *context) {
    return {error, context, false};
  }

  constexpr explicit operator bool() const { return context_ != nullptr; }
  constexpr int error() const { return error_; }
  constexpr const char *context() const { return context_; }
  constexpr bool is_system_error() const { return system_; }

private:
  constexpr Failure(int error, const char *context, bool system)
      : error_(error), context_(context), system_(system) {}
  int error_ = 0;
  const char *context_ = nullptr;
  bool system_ = false;
};

} // namespace cdmg
