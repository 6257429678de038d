// The unit frame, the component reader and the table writer on their own,
// in-process on the in-memory system.
#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "harness.h"
#include "memory_system.h"
#include "reader.h"
#include "units.h"
#include "writer.h"

namespace {

using cdmg::testing::Ended;
using cdmg::testing::MemorySystem;
using harness::state;

std::string name80(const std::string &name) {
  return name + std::string(80 - name.size(), ' ');
}

// The frame connected to a fresh in-memory system for one test.
class Frame : public ::testing::Test {
protected:
  void SetUp() override { start_on(system); }
  // A fresh frame on `memory`: no unit but the standard ones, no report yet.
  static void start_on(MemorySystem &memory) {
    cdmg::use_system(memory);
    cdmg::reset_units();
    cdmg::connect_standard_units(2, 0, 1);
  }
  void TearDown() override {
    cdmg::reset_units();
    cdmg::use_system(cdmg::native_system());
  }
  // Runs `step`; true when it ended the process by the abnormal end.
  template <typename Step> bool aborts(Step step) {
    try {
      step();
    } catch (const Ended &ended) {
      return ended.aborted;
    }
    return false;
  }
  MemorySystem system;
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
    MemorySystem fresh;
    start_on(fresh);
    EXPECT_TRUE(aborts([&] {
      if (c.ended) {
        { cdmg::Statement statement(cdmg::kInputUnit, c.format, cdmg::Direction::reading); }
        cdmg::report(cdmg::kUnexpectedCharacter, "fmt");
      }
      cdmg::Statement statement(cdmg::kInputUnit, c.format, cdmg::Direction::reading);
      cdmg::report(cdmg::kUnexpectedCharacter, "fmt");
    }));
    EXPECT_EQ(fresh.err(),
              "fmt: read unexpected character\n" +
                  state("5 (unnamed)", c.format_line.empty() ? nullptr : c.format_line.c_str(),
                        "reading"));
  }
}

TEST_F(Frame, ReportFirstLines) {
  struct Case {
    int error;
    bool system_error;
    std::string first;
  };
  const Case cases[] = {
      {cdmg::kEndOfFile, false, "fmt: end of file"},
      {100, false, "fmt: error in format"},
      {132, false, "fmt: Temporary file name (TMPDIR?) too long"},
      {133, false, "fmt: illegal error number 133"},
      {-7, false, "fmt: illegal error number -7"},
      {ENOSPC, true, std::string("fmt: ") + std::strerror(ENOSPC)},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.first);
    MemorySystem fresh;
    start_on(fresh);
    EXPECT_TRUE(aborts([&] {
      cdmg::Statement statement(cdmg::kOutputUnit, cdmg::kListIo, cdmg::Direction::writing);
      if (c.system_error) cdmg::report_system_error(c.error, "fmt");
      cdmg::report(c.error, "fmt");
    }));
    EXPECT_EQ(fresh.err(), c.first + "\n" + state("6 (unnamed)", "list io", "writing"));
  }
}

TEST_F(Frame, ClosingCutsAWrittenFileBack) {
  system.add_file("t.csv", "0123456789");
  cdmg::open_unit(cdmg::kFileUnit, name80("t.csv"), cdmg::OpenStatus::unknown);
  cdmg::prepare_write(cdmg::kFileUnit);
  std::memcpy(cdmg::reserve_output(cdmg::kFileUnit, 3), "abc", 3);
  cdmg::commit_output(cdmg::kFileUnit, 3);
  std::memcpy(cdmg::reserve_output(cdmg::kFileUnit, 3), "XYZ", 3); // never committed
  cdmg::close_unit(cdmg::kFileUnit);
  EXPECT_EQ(system.bytes("t.csv"), "abc");
  EXPECT_EQ(system.open_descriptors(), 0);
}

TEST_F(Frame, ReadingWithoutWritingLeavesAFileAsItWas) {
  system.add_file("t.csv", "0123456789");
  cdmg::open_unit(cdmg::kFileUnit, name80("t.csv"), cdmg::OpenStatus::old_file);
  cdmg::close_unit(cdmg::kFileUnit);
  EXPECT_EQ(system.bytes("t.csv"), "0123456789");
}

TEST_F(Frame, TextRecordsArePaddedAndMayNotEndEarly) {
  system.set_input("short\n" + std::string(85, 'L') + "\ncut");
  char text[80];
  cdmg::read_text_record(cdmg::kInputUnit, text);
  EXPECT_EQ(std::string(text, 80), name80("short"));
  cdmg::read_text_record(cdmg::kInputUnit, text);
  EXPECT_EQ(std::string(text, 80), std::string(80, 'L'));
  EXPECT_TRUE(aborts([&] { cdmg::read_text_record(cdmg::kInputUnit, text); }));
  EXPECT_EQ(system.err(), "fmt: end of file\n" + state("5 (unnamed)", "(a80)", "reading"));
}

TEST_F(Frame, ReaderStoresTheLastRecordWithoutLineFeedButDoesNotCountIt) {
  system.add_file("c.txt", harness::header_records("C") + "       1.5       2.5\n    3.5000");
  std::vector<float> samples(cdmg::kCapacity, 0.0f);
  std::int32_t stored = 0;
  const std::int32_t nt = cdmg::read_component(name80("c.txt"), samples.data(), stored);
  EXPECT_EQ(nt, 8);
  EXPECT_EQ(samples[0], 1.5f);
  EXPECT_EQ(samples[1], 2.5f);
  EXPECT_EQ(samples[8], 3.5f) << "stored past the count";
  EXPECT_EQ(stored, 16);
  EXPECT_EQ(system.out(), "");
  cdmg::flush_console();
  EXPECT_EQ(system.out(), harness::component_lines("C", 2, 9, 8));
}

TEST_F(Frame, WriterWritesRowsAndLeavesAnOlderFileAloneWithoutThem) {
  const float x[] = {1.5f, -2.25f};
  const float y[] = {0.0f, 1e9f};
  const float z[] = {-0.0004f, 3.0f};
  system.add_file("old.csv", "older");
  cdmg::write_table(name80("old.csv"), 0, 0.01f, x, y, z);
  EXPECT_EQ(system.bytes("old.csv"), "older");
  cdmg::write_table(name80("t.csv"), 2, 0.01f, x, y, z);
  EXPECT_EQ(system.bytes("t.csv"), "  0.000,     1.500,     0.000,     0.000\r\n"
                                   "  0.010,    -2.250,**********,     3.000\r\n");
}

TEST_F(Frame, FreeUnitsCloseQuietly) {
  cdmg::close_unit(42); // never connected: nothing to do, nothing to report
  EXPECT_EQ(system.err(), "");
}

TEST_F(Frame, ConsoleLinesBeyondTheBufferAreWrittenInOrder) {
  std::string expected;
  for (int k = 0; k < 200; ++k) {
    const std::string item = "line " + std::to_string(k) + std::string(70, '.');
    cdmg::ConsoleLine().text(item).end();
    expected += " " + item + "\n";
  }
  cdmg::flush_console();
  EXPECT_EQ(system.out(), expected);
}

TEST_F(Frame, ReportWithoutAnyStatement) {
  start_on(system); // no unit was ever current
  EXPECT_TRUE(aborts([] { cdmg::report(cdmg::kEndOfFile, "fmt"); }));
  EXPECT_EQ(system.err(), "fmt: end of file\napparent state: internal I/O\n"
                          "lately writing sequential formatted external IO\n");
}

TEST_F(Frame, SecondReportOnlyGivesTheNotice) {
  EXPECT_TRUE(aborts([] { cdmg::report(cdmg::kEndOfFile, "fmt"); }));
  const std::string first = system.err();
  EXPECT_TRUE(aborts([] { cdmg::report(cdmg::kCannotWrite, "write start"); }));
  EXPECT_EQ(system.err(),
            first + "write start: can't write file\nfailure report already under way; aborting");
}

TEST_F(Frame, ReopenThatCannotReturnToItsPlaceCannotWrite) {
  system.add_file("t.csv", "older", true, true);
  system.plan({cdmg::testing::Call::open, 1, EACCES}); // opened for reading only
  system.plan({cdmg::testing::Call::seek, 1, EIO});    // the reopen's return
  cdmg::open_unit(cdmg::kFileUnit, name80("t.csv"), cdmg::OpenStatus::unknown);
  EXPECT_TRUE(aborts([] {
    cdmg::Statement statement(cdmg::kFileUnit, cdmg::kRowFormat, cdmg::Direction::writing);
    cdmg::prepare_write(cdmg::kFileUnit);
  }));
  EXPECT_EQ(system.err(), "write start: can't write file\n" +
                              state("11 named t.csv", harness::kRowFormat, "writing"));
  EXPECT_EQ(system.bytes("t.csv"), "older");
  EXPECT_EQ(system.open_descriptors(), 0);
}

} // namespace
