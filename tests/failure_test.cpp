// Every failure point of the run, forced through the in-memory system: the
// exact report, how the run ended, and every byte of every file afterwards.
// Runs the same on every platform.
#include <cerrno>
#include <csignal>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "harness.h"
#include "memory_system.h"

namespace {

using cdmg::testing::Call;
using cdmg::testing::Fault;
using cdmg::testing::MemoryOutcome;
using cdmg::testing::MemorySystem;
using harness::component_file;
using harness::console;
using harness::kRowFormat;
using harness::records;
using harness::state;

const std::string &kFirst = harness::kComponentNames[0];
const std::string &kSecond = harness::kComponentNames[1];
const std::string &kThird = harness::kComponentNames[2];

std::string text_of(int error) {
  return std::strerror(error);
}

// Rows of a table of the data records "1": each the sample 0.0001 and
// seven blank fields, all of them 0.000 in the table.
std::string rows(int count) {
  std::string table;
  for (int i = 0; i < count; ++i) table += harness::row(i * 0.01, 0, 0, 0);
  return table;
}

// Three components: no samples in the first two, `records_z` data records
// of "1" (eight samples each) in the third; the name "t.csv" on the console.
void lay_record(MemorySystem &system, int records_z) {
  system.add_file(kFirst, component_file("X", {}));
  system.add_file(kSecond, component_file("Y", {}));
  system.add_file(kThird, component_file("Z", records(records_z, "1")));
  system.set_input("t.csv\n");
}

struct Case {
  const char *what;
  int records_z;
  std::function<void(MemorySystem &)> arrange;
  std::string err;   // empty: a normal end
  std::string out;   // the console
  std::string table; // the table file afterwards; "<none>": no such file
  int status = 0;    // a signal's exit status (1), where `err` is its message
};

void check(const Case &c) {
  SCOPED_TRACE(c.what);
  MemorySystem system;
  lay_record(system, c.records_z);
  c.arrange(system);
  const auto components = system.files();
  const MemoryOutcome outcome = cdmg::testing::run_in_memory(system);
  EXPECT_EQ(outcome.err, c.err);
  EXPECT_EQ(outcome.out, c.out);
  if (c.err.empty() || c.status != 0) {
    EXPECT_FALSE(outcome.ended.aborted);
    EXPECT_EQ(outcome.ended.status, c.status);
  } else {
    EXPECT_TRUE(outcome.ended.aborted);
  }
  if (c.table == "<none>") {
    EXPECT_FALSE(system.exists("t.csv"));
  } else {
    ASSERT_TRUE(system.exists("t.csv"));
    EXPECT_EQ(system.bytes("t.csv"), c.table);
  }
  for (const auto &[name, bytes] : components) {
    if (name != "t.csv") {
      EXPECT_EQ(system.bytes(name), bytes) << name << " changed";
    }
  }
  EXPECT_EQ(system.open_descriptors(), 0) << "a file was left open";
}

// Byte offsets in a component file of the records the reader meets.
constexpr int kHeaderLine = 9; // "header N\n" for N < 10
constexpr int kRecordSix = 5 * kHeaderLine;
const int kFirstData = static_cast<int>(harness::header_records("X").size());

TEST(Failures, ReadingAComponent) {
  // One byte a read: the Nth read fails at byte N-1 of the first file.
  const auto fail_read_at = [](int byte) {
    return [byte](MemorySystem &system) {
      system.set_read_chunk(1);
      system.plan(Fault{Call::read, byte + 1, EIO});
    };
  };
  const std::string unit = "11 named " + kFirst;
  const std::string echoes = harness::echoed_headers("X");
  const Case cases[] = {
      {"a skipped header record", 0, fail_read_at(2 * kHeaderLine + 3),
       "read: " + text_of(EIO) + "\n" + state(unit, "list io", "reading"), harness::banner(),
       "<none>"},
      {"an echoed header record", 0, fail_read_at(kRecordSix + 4),
       "read: " + text_of(EIO) + "\n" + state(unit, "(a80)", "reading"), harness::banner(),
       "<none>"},
      {"the end of the data", 0, fail_read_at(kFirstData),
       "read: " + text_of(EIO) + "\n" + state(unit, "(8E10.4)", "reading"),
       harness::banner() + echoes, "<none>"},
  };
  for (const auto &c : cases) check(c);
}

TEST(Failures, InterruptedAndShortReadsAreCompleted) {
  const Case cases[] = {
      {"interrupted", 2,
       [](MemorySystem &s) {
         s.plan(Fault{Call::read, 1, EINTR});
       },
       "", console(0, 0, 2), rows(16)},
      {"one byte at a time", 2, [](MemorySystem &s) { s.set_read_chunk(1); }, "", console(0, 0, 2),
       rows(16)},
  };
  for (const auto &c : cases) check(c);
}

TEST(Failures, ReadingStandardInput) {
  // Each component file takes one read and one that meets its end.
  const Case c{"standard input",
               1,
               [](MemorySystem &s) {
                 s.plan(Fault{Call::read, 7, EIO});
               },
               "read: " + text_of(EIO) + "\n" + state("5 (unnamed)", "(a80)", "reading"),
               console(0, 0, 1),
               "<none>"};
  check(c);
}

TEST(Failures, OpeningAttempts) {
  const std::string table_unit = "11 named t.csv";
  const Case cases[] = {
      {"a component that cannot be examined", 1,
       [](MemorySystem &s) {
         s.plan(Fault{Call::examine, 1, EACCES});
       },
       "open: " + text_of(EACCES) + "\n" + state("11 named " + kFirst, "list io", "writing"),
       harness::banner(), "<none>"},
      {"a component opened for reading only", 1,
       [](MemorySystem &s) {
         s.plan(Fault{Call::open, 1, EACCES});
       },
       "", console(0, 0, 1), rows(8)},
      {"a component that opens in neither way: the last attempt's error", 1,
       [](MemorySystem &s) {
         s.plan(Fault{Call::open, 1, EACCES});
         s.plan(Fault{Call::open, 2, EIO});
       },
       "open: " + text_of(EIO) + "\n" + state("11 named " + kFirst, "list io", "writing"),
       harness::banner(), "<none>"},
      {"a table that cannot be created", 1,
       [](MemorySystem &s) {
         s.plan(Fault{Call::open, 6, ENOSPC});
       },
       "open: " + text_of(ENOSPC) + "\n" + state(table_unit, nullptr, "reading"), console(0, 0, 1),
       "<none>"},
      {"a table in a folder where nothing may be made", 1,
       [](MemorySystem &s) {
         s.add_folder("locked", false);
         s.set_input("locked/t.csv\n");
       },
       "open: " + text_of(EACCES) + "\n" + state("11 named locked/t.csv", nullptr, "reading"),
       console(0, 0, 1), "<none>"},
      {"a table name with a NUL byte: never a shorter name", 1,
       [](MemorySystem &s) { s.set_input(std::string("t\0.csv\n", 7)); },
       "open: " + text_of(EINVAL) + "\n" + state("11 named t", nullptr, "reading"),
       console(0, 0, 1), "<none>"},
      {"a table nobody may read or write", 1,
       [](MemorySystem &s) { s.add_file("t.csv", "secret", false, false); },
       "open: " + text_of(EACCES) + "\n" + state(table_unit, nullptr, "reading"), console(0, 0, 1),
       "secret"},
  };
  for (const auto &c : cases) check(c);
}

TEST(Failures, FirstRowReopensAReadOnlyTable) {
  const Case cases[] = {
      {"reopened: the rows replace the older, longer file", 1,
       [](MemorySystem &s) {
         s.add_file("t.csv", std::string(1000, 'A'));
         s.plan(Fault{Call::open, 4, EACCES}); // the first attempt on the table
       },
       "", console(0, 0, 1), rows(8)},
      {"cannot be reopened: error 127, the file untouched", 1,
       [](MemorySystem &s) { s.add_file("t.csv", "read only", true, false); },
       "write start: can't write file\n" + state("11 named t.csv", kRowFormat, "writing"),
       console(0, 0, 1), "read only"},
  };
  for (const auto &c : cases) check(c);
}

TEST(Failures, TableWrites) {
  // 400 records: 3200 rows; the 64 KiB buffer holds 1560 of them. Write 1
  // is the console before the name is read; 2 and 3 are full buffers; 4 is
  // the flush at the close.
  const auto failing_write = [](int nth, int error, bool older_file) {
    return [=](MemorySystem &s) {
      if (older_file) s.add_file("t.csv", std::string(200000, 'A'));
      s.plan(Fault{Call::write, nth, error});
    };
  };
  const std::string unit = "11 named t.csv";
  std::vector<Case> cases;
  for (const int error : {ENOSPC, EIO, EFBIG}) {
    const std::string first = "write: " + text_of(error) + "\n";
    cases.push_back({"first buffer", 400, failing_write(2, error, false),
                     first + state(unit, kRowFormat, "writing"), console(0, 0, 400), ""});
    cases.push_back({"first buffer over an older file", 400, failing_write(2, error, true),
                     first + state(unit, kRowFormat, "writing"), console(0, 0, 400), ""});
    cases.push_back({"second buffer", 400, failing_write(3, error, true),
                     first + state(unit, kRowFormat, "writing"), console(0, 0, 400), rows(1560)});
    cases.push_back({"the flush at the close", 400, failing_write(4, error, true),
                     first + state(unit, nullptr, "writing"), console(0, 0, 400), rows(3120)});
  }
  cases.push_back({"short writes are completed", 400,
                   [](MemorySystem &s) {
                     s.plan(Fault{Call::write, 2, 0, 1000});
                     s.plan(Fault{Call::write, 3, 0, 1});
                     s.plan(Fault{Call::write, 6, 0, 42});
                   },
                   "", console(0, 0, 400), rows(3200)});
  cases.push_back({"interrupted writes are retried", 400,
                   [](MemorySystem &s) {
                     s.plan(Fault{Call::write, 2, EINTR});
                     s.plan(Fault{Call::write, 5, EINTR});
                   },
                   "", console(0, 0, 400), rows(3200)});
  for (const auto &c : cases) check(c);
}

TEST(Failures, CutBackAndClosing) {
  const std::string older(1000, 'A');
  // The cut-back, or the position or size it needs, fails: error 111, and
  // the older tail stays after the rows.
  for (const Call call : {Call::cut_back, Call::size, Call::position}) {
    check({"the cut-back cannot be made", 1,
           [&](MemorySystem &s) {
             s.add_file("t.csv", older);
             s.plan(Fault{call, 1, EIO});
           },
           "endfile: truncation failed in endfile\n" + state("11 named t.csv", nullptr, "writing"),
           console(0, 0, 1), rows(8) + older.substr(8 * 42)});
  }
  const Case cases[] = {
      {"closing fails: nothing to report", 1,
       [](MemorySystem &s) {
         for (int k = 1; k <= 4; ++k) s.plan(Fault{Call::close, k, EIO});
       },
       "", console(0, 0, 1), rows(8)},
      {"no rows: an older file stays as it was", 0,
       [&](MemorySystem &s) { s.add_file("t.csv", older); }, "", console(0, 0, 0), older},
  };
  for (const auto &c : cases) check(c);
}

TEST(Failures, FifoComponentIsReadToItsEnd) {
  const Case c{"the third component from a FIFO",
               0,
               [](MemorySystem &s) { s.add_fifo(kThird, component_file("Z", records(2, "1"))); },
               "",
               console(0, 0, 2),
               rows(16)};
  check(c);
}

// Signals, as the platform would deliver them to the handler. While the
// table is written, the console and every committed row reach their files
// exactly once, whether the signal arrives before or after the interrupted
// write did its work; a FIFO table nobody reads, written 97 rows a write,
// finds itself full at the 19th, which the handler never tries again; while
// the run waits for the name, the console is complete.
TEST(Failures, Signals) {
  std::vector<Case> cases;
  for (const bool before_work : {false, true}) {
    for (const int signal : {SIGINT, SIGTERM, SIGFPE}) {
      cases.push_back({signal == SIGINT    ? "interrupt"
                       : signal == SIGTERM ? "termination"
                                           : "floating fault",
                       400,
                       [=](MemorySystem &system) {
                         system.add_file("t.csv", std::string(200000, 'A'));
                         system.plan(Fault{Call::write, 3, 0, 0, signal, before_work});
                       },
                       signal == SIGINT    ? "Interrupt\n"
                       : signal == SIGTERM ? "Killed\n"
                                           : "Floating Exception\n",
                       console(0, 0, 400), rows(3120), signal == SIGFPE ? 0 : 1});
    }
  }
  cases.push_back({"a stopped FIFO", 400,
                   [](MemorySystem &system) {
                     system.add_fifo("t.csv", "", 65536);
                     system.plan(Fault{Call::write, 19, 0, 0, SIGINT});
                   },
                   "Interrupt\n", console(0, 0, 400), rows(1560), 1});
  cases.push_back({"reading the name", 1,
                   [](MemorySystem &system) {
                     system.plan(Fault{Call::read, 7, 0, 0, SIGTERM, true});
                   },
                   "Killed\n", console(0, 0, 1), "<none>", 1});
  for (const auto &c : cases) check(c);
}

} // namespace
