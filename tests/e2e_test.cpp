// End-to-end runs of the real program in fresh folders: every byte of
// standard output, standard error and the files, and how the process ended.
#include <csignal>
#include <filesystem>
#include <string>
#ifndef _WIN32
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif
#include <vector>

#include <gtest/gtest.h>

#include "harness.h"

using harness::banner;
using harness::component_file;
using harness::component_lines;
using harness::console;
using harness::Folder;
using harness::kRowFormat;
using harness::output_prompt;
using harness::pad80;
using harness::records;
using harness::row;
using harness::state;

namespace {

const std::string &kFirst = harness::kComponentNames[0];
const std::string &kSecond = harness::kComponentNames[1];
const std::string &kThird = harness::kComponentNames[2];

// Writes the three component files whole; by default with no data records.
void lay(const Folder &here, const std::string &first,
         const std::string &second = component_file("Y", {}),
         const std::string &third = component_file("Z", {})) {
  here.write(kFirst, first);
  here.write(kSecond, second);
  here.write(kThird, third);
}

// The console of a run whose first component, without data, wrote `head`
// (the banner and its echoed headers); the other two hold no data either.
std::string console_from_x(const std::string &head) {
  return head + harness::counter_lines(1, 1, 0) + harness::component_lines("Y", 1, 1, 0) +
         harness::component_lines("Z", 1, 1, 0) + harness::output_prompt();
}

class Run : public ::testing::Test {
protected:
  void write_components(const std::vector<std::string> &x, const std::vector<std::string> &y,
                        const std::vector<std::string> &z, const char *end = "\n") {
    lay(folder, component_file("X", x, end), component_file("Y", y, end),
        component_file("Z", z, end));
  }
  void expect_normal(const harness::Outcome &outcome, const std::string &out) {
    EXPECT_EQ(outcome.out, out);
    EXPECT_EQ(outcome.err, "");
    EXPECT_EQ(outcome.exit_status, 0);
    EXPECT_FALSE(outcome.aborted);
  }
  void expect_abort(const harness::Outcome &outcome, const std::string &out,
                    const std::string &err) {
    EXPECT_EQ(outcome.out, out);
    EXPECT_EQ(outcome.err, err);
    EXPECT_TRUE(outcome.aborted);
  }
  Folder folder;
};

TEST_F(Run, NormalRunWritesTranscriptAndTable) {
  write_components({"       0.5     1.234   -2.5E+0"}, {"      0.25   -0.5678"},
                   {"         0      12.5     12345"});
  const auto outcome = folder.run("table.csv\n");
  expect_normal(outcome, console(1, 1, 1));
  EXPECT_EQ(folder.read("table.csv"), "  0.000,     0.500,     0.250,     0.000\r\n"
                                      "  0.010,     1.234,    -0.568,    12.500\r\n"
                                      "  0.020,    -2.500,     0.000,     1.235\r\n"
                                      "  0.030,     0.000,     0.000,     0.000\r\n"
                                      "  0.040,     0.000,     0.000,     0.000\r\n"
                                      "  0.050,     0.000,     0.000,     0.000\r\n"
                                      "  0.060,     0.000,     0.000,     0.000\r\n"
                                      "  0.070,     0.000,     0.000,     0.000\r\n");
  EXPECT_EQ(folder.files().size(), 4u);
}

TEST_F(Run, MissingComponentFileEndsRunBeforeItsLines) {
  struct Case {
    std::vector<std::string> present;
    std::string missing;
    std::string console;
  };
  const std::vector<Case> cases = {
      {{}, kFirst, banner()},
      {{kFirst}, kSecond, banner() + component_lines("X", 1, 1, 0)},
      {{kFirst, kSecond},
       kThird,
       banner() + component_lines("X", 1, 1, 0) + component_lines("Y", 1, 1, 0)},
  };
  for (const auto &c : cases) {
    Folder here;
    const char *labels[] = {"X", "Y"};
    for (std::size_t k = 0; k < c.present.size(); ++k) {
      here.write(c.present[k], component_file(labels[k], {}));
    }
    const auto outcome = here.run("table.csv\n");
    expect_abort(outcome, c.console,
                 "open: No such file or directory\n" +
                     state("11 named " + c.missing, "list io", "writing"));
    EXPECT_EQ(here.files().size(), c.present.size());
  }
}

// A bad character ends the run from a short record (the rule alone) and
// from a full one (the one-pass reading hands it to the rule).
TEST_F(Run, UnexpectedCharacterInDataField) {
  const std::string full = "    1.0000" + std::string(60, ' ') + "    2.0Q00";
  for (const auto &record : {std::string("       1.0  1.0Q+01"), full}) {
    Folder here;
    lay(here, component_file("X", {"       1.0", record, "       2.0"}));
    SCOPED_TRACE(record);
    const auto outcome = here.run("table.csv\n");
    expect_abort(outcome, banner() + harness::echoed_headers("X"),
                 "fmt: read unexpected character\n" +
                     state("11 named " + kFirst, "(8E10.4)", "reading"));
  }
}

TEST_F(Run, ConsoleInputEndingEarly) {
  write_components({}, {}, {});
  for (const std::string &input : std::vector<std::string>{"", "table.csv", std::string(79, 'a')}) {
    const auto outcome = folder.run(input);
    expect_abort(outcome, console(0, 0, 0),
                 "fmt: end of file\n" + state("5 (unnamed)", "(a80)", "reading"));
    EXPECT_EQ(folder.files().size(), 3u);
  }
}

TEST_F(Run, NameOfEightyCharactersNeedsNoLineFeed) {
  write_components({}, {}, {});
  const std::string name(80, 'n');
  expect_normal(folder.run(name), console(0, 0, 0));
  EXPECT_EQ(folder.read(name), "");
}

TEST_F(Run, OutputNameEditing) {
  write_components({}, {}, {"    1.0000"});
  struct Case {
    std::string typed;
    std::string file;
  };
  const std::string long_name(80, 'L');
  const std::vector<Case> cases = {
      {" lead.csv   \n", " lead.csv"},
      {"in ner.csv\r\n", "in ner.csv"},
      {long_name + "TAIL\n", long_name},
  };
  for (const auto &c : cases) {
    expect_normal(folder.run(c.typed), console(0, 0, 1));
    EXPECT_EQ(folder.read(c.file).size(), 8 * 42u) << c.typed;
    std::filesystem::remove(folder.path() / c.file);
  }
}

TEST_F(Run, AllBlankNameIsNullFileName) {
  write_components({}, {}, {});
  for (const std::string &typed :
       std::vector<std::string>{"\n", std::string(80, ' ') + "\n", "   \n"}) {
    const auto outcome = folder.run(typed);
    expect_abort(outcome, console(0, 0, 0),
                 "open: null file name\n" + state("11 named ", nullptr, "reading"));
    EXPECT_EQ(folder.files().size(), 3u);
  }
}

// Outcome of a first component file of n header records, each with its line feed.
TEST_F(Run, HeaderOutcomesByRecordCount) {
  for (int n = 0; n <= 32; ++n) {
    Folder here;
    lay(here, harness::header_records("X", n));
    SCOPED_TRACE(std::to_string(n) + " records");
    const auto outcome = here.run("t.csv\n");
    std::string out = banner() + (n >= 6 ? harness::echoed_headers("X", false) : "");
    if (n >= 31) {
      expect_normal(outcome, console_from_x(banner() + harness::echoed_headers("X")));
      continue;
    }
    std::string err;
    if (n == 30 || n == 5)
      err = "fmt: end of file\n" + state("11 named " + kFirst, "(a80)", "reading");
    else if (n == 29 || n == 4)
      err = "read start: end of file\n" + state("11 named " + kFirst, "(a80)", "reading");
    else
      err = "read start: end of file\n" + state("11 named " + kFirst, "list io", "reading");
    expect_abort(outcome, out, err);
  }
}

TEST_F(Run, LastHeaderRecordWithoutLineFeed) {
  const std::string head = harness::header_records("X", 30);
  const std::string six = banner() + harness::echoed_headers("X", false);
  const std::string where = "11 named " + kFirst;
  struct Case {
    std::string file;
    std::string out;
    std::string err; // empty: the run goes on
  };
  const std::string long31 = "RECORD 31 X" + std::string(75, '-');
  const std::vector<Case> cases = {
      {head + "RECORD 31 X", six, "fmt: end of file\n" + state(where, "(a80)", "reading")},
      {head + long31, six + " " + long31.substr(0, 80) + "\n",
       "read start: end of file\n" + state(where, "list io", "reading")},
      {head + "RECORD 31 X\nlast", banner() + harness::echoed_headers("X"), ""},
  };
  for (const auto &c : cases) {
    Folder here;
    lay(here, c.file);
    const auto outcome = here.run("t.csv\n");
    if (c.err.empty()) {
      expect_normal(outcome, console_from_x(c.out));
    } else {
      expect_abort(outcome, c.out, c.err);
    }
  }
}

TEST_F(Run, HeaderEchoTakesFirstEightyCharacters) {
  std::string file;
  for (int n = 1; n <= 32; ++n) {
    if (n == 6)
      file += std::string(100, 'h') + "\n";
    else if (n == 31)
      file += "tab\there\n";
    else
      file += "x\n";
  }
  lay(folder, file);
  const auto outcome = folder.run("t.csv\n");
  expect_normal(outcome, console_from_x(banner() + " " + std::string(80, 'h') + "\n " +
                                        pad80("tab\there") + "\n"));
}

TEST_F(Run, DataRecordShapes) {
  struct Case {
    const char *what;
    std::string data; // after the 32 header records of the third component
    int counted_records;
    std::vector<std::string> rows; // first rows of the table: z values
  };
  const std::vector<Case> cases = {
      {"commas end fields early",
       "1.5,2.5,-3.25\n7,\n",
       2,
       {"     1.500", "     2.500", "    -3.250", "     0.000", "     0.000", "     0.000",
        "     0.000", "     0.000", "     0.001"}},
      {"an empty line counts eight zeros",
       "\n    1.0000\n",
       2,
       {"     0.000", "     0.000", "     0.000", "     0.000", "     0.000", "     0.000",
        "     0.000", "     0.000", "     1.000"}},
      {"columns past 80 are ignored",
       "    1.0000    2.0000    3.0000    4.0000    5.0000    6.0000    7.0000    8.0000QQQ\n",
       1,
       {"     1.000", "     2.000", "     3.000", "     4.000", "     5.000", "     6.000",
        "     7.000", "     8.000"}},
      {"CR LF line ends",
       "    1.0000    2.0000\r\n    3.0000\r\n",
       2,
       {"     1.000", "     2.000", "     0.000", "     0.000", "     0.000", "     0.000",
        "     0.000", "     0.000", "     3.000"}},
      {"Ctrl-Z ends the file", "    1.0000\n\x1a    2.0000\nQQQ\n", 1, {"     1.000"}},
  };
  for (const auto &c : cases) {
    Folder here;
    lay(here, component_file("X", {}), component_file("Y", {}),
        harness::header_records("Z") + c.data);
    const auto outcome = here.run("t.csv\n");
    EXPECT_EQ(outcome.out, console(0, 0, c.counted_records)) << c.what;
    EXPECT_EQ(outcome.exit_status, 0) << c.what;
    const std::string table = here.read("t.csv");
    ASSERT_EQ(table.size(), 42u * 8 * c.counted_records) << c.what;
    for (std::size_t k = 0; k < c.rows.size(); ++k) {
      EXPECT_EQ(table.substr(42 * k + 30, 12), c.rows[k] + "\r\n") << c.what << " row " << k + 1;
    }
  }
}

TEST_F(Run, LastRecordWithoutLineFeedIsStoredButNotCounted) {
  // x ends in an uncounted record whose values still show beyond nt of x.
  lay(folder, component_file("X", {"    1.0000"}) + "    2.0000    3.0000    4.0",
      component_file("Y", {}), component_file("Z", {"1", "2"}));
  const auto outcome = folder.run("t.csv\n");
  expect_normal(outcome, console(1, 0, 2));
  const std::string table = folder.read("t.csv");
  ASSERT_EQ(table.size(), 16 * 42u);
  EXPECT_EQ(table.substr(8 * 42, 42), "  0.080,     2.000,     0.000,     0.000\r\n");
  EXPECT_EQ(table.substr(9 * 42, 42), "  0.090,     3.000,     0.000,     0.000\r\n");
  // The field cut short by the end of the file stores nothing.
  EXPECT_EQ(table.substr(10 * 42, 42), "  0.100,     0.000,     0.000,     0.000\r\n");
}

TEST_F(Run, ComponentsOfDifferentLengths) {
  write_components({"1"}, {"2", "2", "2"}, {"3", "3"});
  const auto outcome = folder.run("t.csv\n");
  expect_normal(outcome, console(1, 3, 2));
  std::string expected;
  for (int i = 1; i <= 16; ++i) {
    expected += row((i - 1) / 100.0, i == 1 ? 0.0001 : 0.0, i % 8 == 1 ? 0.0002 : 0.0,
                    i % 8 == 1 ? 0.0003 : 0.0);
  }
  EXPECT_EQ(folder.read("t.csv"), expected);
}

TEST_F(Run, FullCapacity) {
  const std::string line =
      "    1.2345   -2.5000    0.0005 9999.9990-9999.9990         0         1   -1.0E-3";
  const auto data = records(4125, line);
  write_components(data, data, data, "\r\n");
  // An extra last record without a line feed cannot be stored, and is not counted.
  folder.write(kThird, component_file("Z", data, "\r\n") + line);
  const auto outcome = folder.run("t.csv\n");
  expect_normal(outcome, console(4125, 4125, 4125));
  const std::string table = folder.read("t.csv");
  ASSERT_EQ(table.size(), 33000 * 42u);
  const char *values[] = {"     1.235", "    -2.500", "     0.001", "  9999.999",
                          " -9999.999", "     0.000", "     0.000", "    -0.001"};
  for (int i : {1, 2, 3, 101, 1001, 10001, 32993, 33000}) {
    const std::string v = values[(i - 1) % 8];
    char time[8];
    std::snprintf(time, sizeof time, "%7.3f", (i - 1) / 100.0);
    EXPECT_EQ(table.substr(42 * (i - 1), 42),
              std::string(time) + "," + v + "," + v + "," + v + "\r\n")
        << "row " << i;
  }
  EXPECT_EQ(table.substr(42 * 32999, 7), "329.990");
}

// Short records, read by the rule: 4125 fill the array, one more ends the run.
TEST_F(Run, OverCapacityEndsWithSubscriptOutOfBounds) {
  write_components(records(4125, "1"), {}, {});
  expect_normal(folder.run("t.csv\n"), console(4125, 0, 0));
  write_components(records(4126, "1"), {}, {});
  const auto outcome = folder.run("t.csv\n");
  expect_abort(outcome, banner() + harness::echoed_headers("X"),
               "fmt: subscript out of bounds\n" +
                   state("11 named " + kFirst, "(8E10.4)", "reading"));
}

TEST_F(Run, ExistingTableFiles) {
  write_components({}, {}, {"1"});
  const std::string table = std::string(row(0, 0, 0, 0.0001)) + row(0.01, 0, 0, 0) +
                            row(0.02, 0, 0, 0) + row(0.03, 0, 0, 0) + row(0.04, 0, 0, 0) +
                            row(0.05, 0, 0, 0) + row(0.06, 0, 0, 0) + row(0.07, 0, 0, 0);
  for (const std::size_t before : {0u, 10u, 336u, 10000u}) {
    folder.write("t.csv", std::string(before, 'A'));
    expect_normal(folder.run("t.csv\n"), console(0, 0, 1));
    EXPECT_EQ(folder.read("t.csv"), table) << before << " bytes before";
  }
}

TEST_F(Run, NoSamplesLeavesExistingFileUntouched) {
  write_components({}, {}, {});
  folder.write("old.csv", "keep me\r\nas I am");
  expect_normal(folder.run("old.csv\n"), console(0, 0, 0));
  EXPECT_EQ(folder.read("old.csv"), "keep me\r\nas I am");
  expect_normal(folder.run("new.csv\n"), console(0, 0, 0));
  ASSERT_TRUE(std::filesystem::exists(folder.path() / "new.csv"));
  EXPECT_EQ(folder.read("new.csv"), "");
}

// A table name the system refuses: the report shows the system's own error
// of the opening, whatever the checks made after it, and no format line
// (the read of the name has ended).
TEST_F(Run, RefusedTableNameReportsTheOpeningsError) {
#ifdef _WIN32
  const bool windows = true;
#else
  const bool windows = false;
#endif
  struct Case {
    std::string name;
    const char *error; // nullptr: the platform allows the name
  };
  const Case cases[] = {
      {"tab\tin.csv", windows ? "Invalid argument" : nullptr},
      {"car\rriage.csv", windows ? "Invalid argument" : nullptr},
      {"out", "Is a directory"},
      {"plain.txt/t.csv", windows ? "No such file or directory" : "Not a directory"},
      {"nofolder/t.csv", "No such file or directory"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    Folder here;
    lay(here, component_file("X", {}), component_file("Y", {}), component_file("Z", {"1"}));
    here.write("plain.txt", "a file, not a folder");
    std::filesystem::create_directory(here.path() / "out");
    const auto before = here.files();
    const auto outcome = here.run(c.name + "\n");
    if (c.error) {
      expect_abort(outcome, console(0, 0, 1),
                   std::string("open: ") + c.error + "\n" +
                       state("11 named " + c.name, nullptr, "reading"));
      EXPECT_EQ(here.files(), before) << "no file made or changed";
    } else {
      expect_normal(outcome, console(0, 0, 1));
      EXPECT_EQ(here.read(c.name).size(), 8 * 42u);
    }
  }
}

TEST_F(Run, ClosedErrorStreamNeverReachesFiles) {
#ifdef _WIN32
  GTEST_SKIP() << "closing a standard stream before the start is a POSIX set-up";
#else
  // A component file opened while standard error is closed would take its
  // number, and the failure report would be written into it.
  write_components({"1", "1.0Q"}, {}, {});
  const auto before = folder.files();
  const auto outcome = folder.run_without_error_stream("t.csv\n");
  EXPECT_TRUE(outcome.aborted);
  EXPECT_EQ(folder.files(), before);
#endif
}

// An input error is not a crash: where the machine keeps core dumps, a
// failure report leaves none (a process that aborts of itself does).
TEST_F(Run, FailureReportLeavesNoCoreDump) {
#ifdef _WIN32
  GTEST_SKIP() << "Windows keeps no core dumps of its own";
#else
  rlimit limit{};
  getrlimit(RLIMIT_CORE, &limit);
  const rlimit unlimited{limit.rlim_max, limit.rlim_max};
  ASSERT_EQ(setrlimit(RLIMIT_CORE, &unlimited), 0);
  const auto core_files = [](const std::filesystem::path &path) {
    int count = 0;
    for (const auto &entry : std::filesystem::directory_iterator(path))
      count += entry.path().filename().string().rfind("core", 0) == 0;
    return count;
  };
  Folder control;
  const pid_t child = fork();
  if (child == 0) {
    if (chdir(control.path().c_str()) == 0) std::abort();
    _exit(1);
  }
  int status = 0;
  waitpid(child, &status, 0);
  const bool dumps = WCOREDUMP(status) || core_files(control.path()) > 0;
  write_components({"1.0Q"}, {}, {});
  const auto outcome = folder.run("t.csv\n");
  setrlimit(RLIMIT_CORE, &limit);
  EXPECT_TRUE(outcome.aborted);
  EXPECT_FALSE(outcome.core_dumped);
  EXPECT_EQ(core_files(folder.path()), 0);
  if (!dumps) GTEST_SKIP() << "this machine keeps no core dump of an abort";
#endif
}

} // namespace
