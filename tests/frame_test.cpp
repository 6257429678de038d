// The unit frame, the component reader and the table writer on their own,
// in-process on the in-memory system.
#include <cerrno>
#include <csignal>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "harness.h"
#include "list_line.h"
#include "memory_system.h"
#include "reader.h"
#include "signals.h"
#include "writer.h"

namespace {

using cdmg::testing::Ended;
using cdmg::testing::MemorySystem;
using harness::state;

std::string name80(const std::string &name) {
  return name + std::string(80 - name.size(), ' ');
}

// A frame of its own on an in-memory system, with its statement layer.
struct OnMemory {
  MemorySystem system;
  cdmg::Frame frame{system};
  cdmg::Io io{frame};
};

class Frame : public ::testing::Test, protected OnMemory {
protected:
  // Runs `step`; true when it ended the process by the failure report's
  // abnormal end, which leaves no core dump.
  template <typename Step> static bool aborts(Step step) {
    try {
      step();
    } catch (const Ended &ended) {
      return ended.aborted && !ended.core_dump;
    }
    return false;
  }
};

TEST_F(Frame, StatementsSetWhatTheReportShows) {
  struct Case {
    const char *what;
    cdmg::Format format;
    bool ended; // the statement went out of scope before the failure
    std::string format_line;
  };
  const Case cases[] = {
      {"formatted, under way", cdmg::kDataFormat, false, "(8E10.4)"},
      {"formatted, ended: no format is current", cdmg::kDataFormat, true, ""},
      {"list io stays current after its statement", cdmg::kListIo, true, "list io"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.what);
    OnMemory fresh;
    EXPECT_TRUE(aborts([&] {
      {
        cdmg::Statement statement(fresh.io, cdmg::kInputUnit, c.format, cdmg::Direction::reading);
        if (!c.ended) fresh.io.report(cdmg::kUnexpectedCharacter, "fmt");
      }
      fresh.io.report(cdmg::kUnexpectedCharacter, "fmt");
    }));
    EXPECT_EQ(fresh.system.err(),
              "fmt: read unexpected character\n" +
                  state("5 (unnamed)", c.format_line.empty() ? nullptr : c.format_line.c_str(),
                        "reading"));
  }
}

TEST_F(Frame, ReportFirstLines) {
  using cdmg::Failure;
  struct Case {
    Failure failure;
    std::string first;
  };
  const Case cases[] = {
      {Failure::run_time(cdmg::kEndOfFile, "fmt"), "fmt: end of file"},
      {Failure::run_time(cdmg::kCannotWrite, "fmt"), "fmt: can't write file"},
      {Failure::run_time(133, "fmt"), "fmt: illegal error number 133"},
      {Failure::run_time(-7, "fmt"), "fmt: illegal error number -7"},
      {Failure::system(ENOSPC, "fmt"), std::string("fmt: ") + std::strerror(ENOSPC)},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.first);
    OnMemory fresh;
    EXPECT_TRUE(aborts([&] {
      cdmg::Statement statement(fresh.io, cdmg::kOutputUnit, cdmg::kListIo,
                                cdmg::Direction::writing);
      fresh.io.report(c.failure);
    }));
    EXPECT_EQ(fresh.system.err(), c.first + "\n" + state("6 (unnamed)", "list io", "writing"));
  }
}

TEST_F(Frame, ClosingCutsAWrittenFileBack) {
  system.add_file("t.csv", "0123456789");
  io.open(cdmg::kFileUnit, name80("t.csv"), cdmg::OpenStatus::unknown);
  io.check(frame.prepare_write(cdmg::kFileUnit, cdmg::kRowBytes));
  std::memcpy(io.reserve_output(cdmg::kFileUnit, 3), "abc", 3);
  frame.commit_output(cdmg::kFileUnit, 3);
  std::memcpy(io.reserve_output(cdmg::kFileUnit, 3), "XYZ", 3); // never committed
  io.check(frame.close(cdmg::kFileUnit));
  EXPECT_EQ(system.bytes("t.csv"), "abc");
  EXPECT_EQ(system.open_descriptors(), 0);
}

TEST_F(Frame, ConsoleLinesBeyondTheBufferAreWrittenInOrder) {
  std::string expected;
  for (int k = 0; k < 200; ++k) {
    const std::string item = "line " + std::to_string(k) + std::string(70, '.');
    io.console(cdmg::ListLine().text(item).end());
    expected += " " + item + "\n";
  }
  frame.flush_console();
  EXPECT_EQ(system.out(), expected);
}

TEST_F(Frame, ReportWithoutAnyStatement) {
  EXPECT_TRUE(aborts([&] { io.report(cdmg::kEndOfFile, "fmt"); })); // no unit was ever current
  EXPECT_EQ(system.err(), "fmt: end of file\napparent state: internal I/O\n"
                          "lately writing sequential formatted external IO\n");
}

TEST_F(Frame, SecondReportOnlyGivesTheNotice) {
  EXPECT_TRUE(aborts([&] { io.report(cdmg::kEndOfFile, "fmt"); }));
  const std::string first = system.err();
  EXPECT_TRUE(aborts([&] { io.report(cdmg::kCannotWrite, "write start"); }));
  EXPECT_EQ(system.err(),
            first + "write start: can't write file\nfailure report already under way; aborting");
}

TEST_F(Frame, ReopenThatCannotReturnToItsPlaceCannotWrite) {
  system.add_file("t.csv", "older", true, true);
  system.plan({cdmg::testing::Call::open, 1, EACCES}); // opened for reading only
  system.plan({cdmg::testing::Call::seek, 1, EIO});    // the reopen's return
  io.open(cdmg::kFileUnit, name80("t.csv"), cdmg::OpenStatus::unknown);
  EXPECT_TRUE(aborts([&] {
    cdmg::Statement statement(io, cdmg::kFileUnit, cdmg::kRowFormat, cdmg::Direction::writing);
    io.check(frame.prepare_write(cdmg::kFileUnit, cdmg::kRowBytes));
  }));
  EXPECT_EQ(system.err(), "write start: can't write file\n" +
                              state("11 named t.csv", harness::kRowFormat, "writing"));
  EXPECT_EQ(system.bytes("t.csv"), "older");
  EXPECT_EQ(system.open_descriptors(), 0);
}

// A handler's closing on a FIFO nobody reads writes what the FIFO takes at
// once, whole rows only, and never waits for the rest.
TEST_F(Frame, HandlerClosingNeverWaitsOnAFullFifo) {
  system.add_fifo("t.fifo", "", 4100); // room for one write of 97 rows
  io.open(cdmg::kFileUnit, name80("t.fifo"), cdmg::OpenStatus::unknown);
  io.check(frame.prepare_write(cdmg::kFileUnit, cdmg::kRowBytes));
  std::string rows;
  for (int i = 0; i < 200; ++i) {
    const std::string row = harness::row(i * 0.01, i, 0, 0);
    std::memcpy(io.reserve_output(cdmg::kFileUnit, row.size()), row.data(), row.size());
    frame.commit_output(cdmg::kFileUnit, row.size());
    rows += row;
  }
  try {
    cdmg::end_on_signal(frame, SIGTERM);
  } catch (const Ended &ended) {
    EXPECT_EQ(ended.status, 1);
  }
  EXPECT_EQ(system.err(), "Killed\n");
  EXPECT_EQ(system.bytes("t.fifo"), rows.substr(0, 97 * 42));
}

} // namespace
