// What ends a run with the failure report: a system error number, or one of
// the run-time library's own error numbers, each with the word that names
// the failing operation.
#pragma once

namespace cdmg {

// The run-time error numbers: each number, its name and its message.
#define CDMG_RUN_TIME_ERRORS(X)                                                                    \
  X(100, kErrorInFormat, "error in format")                                                        \
  X(101, kIllegalUnitNumber, "illegal unit number")                                                \
  X(102, kFormattedIoNotAllowed, "formatted io not allowed")                                       \
  X(103, kUnformattedIoNotAllowed, "unformatted io not allowed")                                   \
  X(104, kDirectIoNotAllowed, "direct io not allowed")                                             \
  X(105, kSequentialIoNotAllowed, "sequential io not allowed")                                     \
  X(106, kCannotBackspace, "can't backspace file")                                                 \
  X(107, kNullFileName, "null file name")                                                          \
  X(108, kCannotStat, "can't stat file")                                                           \
  X(109, kUnitNotConnected, "unit not connected")                                                  \
  X(110, kOffEndOfRecord, "off end of record")                                                     \
  X(111, kTruncationFailed, "truncation failed in endfile")                                        \
  X(112, kIncomprehensibleListInput, "incomprehensible list input")                                \
  X(113, kOutOfFreeSpace, "out of free space")                                                     \
  X(114, kUnitNotConnected114, "unit not connected")                                               \
  X(115, kUnexpectedCharacter, "read unexpected character")                                        \
  X(116, kBadLogicalInput, "bad logical input field")                                              \
  X(117, kBadVariableType, "bad variable type")                                                    \
  X(118, kBadNamelistName, "bad namelist name")                                                    \
  X(119, kNotInNamelist, "variable not in namelist")                                               \
  X(120, kNoEndRecord, "no end record")                                                            \
  X(121, kVariableCountIncorrect, "variable count incorrect")                                      \
  X(122, kSubscriptForScalar, "subscript for scalar variable")                                     \
  X(123, kInvalidArraySection, "invalid array section")                                            \
  X(124, kSubstringOutOfBounds, "substring out of bounds")                                         \
  X(125, kSubscriptOutOfBounds, "subscript out of bounds")                                         \
  X(126, kCannotRead, "can't read file")                                                           \
  X(127, kCannotWrite, "can't write file")                                                         \
  X(128, kNewFileExists, "'new' file exists")                                                      \
  X(129, kCannotAppend, "can't append to file")                                                    \
  X(130, kNonPositiveRecord, "non-positive record number")                                         \
  X(131, kIoRecursion, "I/O started while already doing I/O")                                      \
  X(132, kTemporaryNameTooLong, "Temporary file name (TMPDIR?) too long")

enum RunTimeError : int {
  kEndOfFile = -1, // its text is "end of file"
#define CDMG_NAME_ERROR(number, name, text) name = (number),
  CDMG_RUN_TIME_ERRORS(CDMG_NAME_ERROR)
#undef CDMG_NAME_ERROR
};

// The message of a run-time error number from 100 to 132; nullptr for any
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
