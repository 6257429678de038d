// Real public records, re-laid into the three-file layout at test time, with
// every row of the table derived independently from the fields' text.
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "harness.h"
#include "reference_edit.h"

namespace fs = std::filesystem;

namespace {

const auto &kNames = harness::kComponentNames;

std::vector<std::string> lines_of(const std::string &bytes) {
  std::vector<std::string> lines;
  std::istringstream in(bytes);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

std::string f10(double value) {
  return reference::f3(value, 10);
}

// The samples of a component: every 10-column field of the data records,
// each with an explicit point in these files, read by strtod.
std::vector<double> samples_of(const std::vector<std::string> &lines) {
  std::vector<double> values;
  for (std::size_t k = 32; k < lines.size(); ++k) {
    for (std::size_t f = 0; f < 8; ++f) {
      const std::string field = f * 10 < lines[k].size() ? lines[k].substr(f * 10, 10) : "";
      values.push_back(static_cast<float>(std::strtod(field.c_str(), nullptr)));
    }
  }
  return values;
}

class RealData : public ::testing::Test {
protected:
  void SetUp() override {
#ifdef _WIN32
    GTEST_SKIP() << "the re-laying script needs bash";
#endif
    const fs::path data = CDMG_REALDATA_DIR;
    if (!fs::exists(data / "smc_loma_prieta_1989_SF_1295_Shafter")) {
#ifdef CDMG_REQUIRE_REALDATA
      FAIL() << "no real records at " << data << ", and they are required";
#else
      GTEST_SKIP() << "no real records at " << data;
#endif
    }
    const std::string command = std::string("bash '") + CDMG_RELAY_SCRIPT + "' '" + data.string() +
                                "' '" + (relaid.path() / "r").string() + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
  }
  // Puts one re-laid record into the run folder; returns each file's lines.
  std::vector<std::vector<std::string>> use(const std::string &variant) {
    std::vector<std::vector<std::string>> files;
    for (const std::string &name : kNames) {
      const std::string bytes = harness::read_file(relaid.path() / "r" / variant / name);
      folder.write(name, bytes);
      files.push_back(lines_of(bytes));
    }
    return files;
  }
  static std::string echoes(const std::vector<std::string> &lines) {
    return " " + harness::pad80(lines[5].substr(0, 80)) + "\n " +
           harness::pad80(lines[30].substr(0, 80)) + "\n";
  }
  static std::string counters(std::size_t records) {
    const auto n = static_cast<int>(records);
    return harness::counter_lines(n + 1, 8 * n + 1, 8 * n);
  }
  void expect_converted(const std::vector<std::vector<std::string>> &files) {
    std::string console = harness::banner();
    for (const auto &lines : files) console += echoes(lines) + counters(lines.size() - 32);
    console += harness::output_prompt();
    const auto outcome = folder.run("t.csv\n");
    EXPECT_EQ(outcome.out, console);
    EXPECT_EQ(outcome.err, "");
    EXPECT_EQ(outcome.exit_status, 0);
    const auto x = samples_of(files[0]), y = samples_of(files[1]), z = samples_of(files[2]);
    std::string table;
    for (std::size_t i = 0; i < z.size(); ++i) {
      char time[16];
      std::snprintf(time, sizeof time, "%7.3f", static_cast<double>(i) / 100.0);
      table += std::string(time) + "," + (i < x.size() ? f10(x[i]) : f10(0)) + "," +
               (i < y.size() ? f10(y[i]) : f10(0)) + "," + f10(z[i]) + "\r\n";
    }
    const std::string written = folder.read("t.csv");
    EXPECT_EQ(written.size(), table.size());
    EXPECT_TRUE(written == table)
        << "first difference at byte "
        << std::mismatch(written.begin(), written.end(), table.begin(), table.end()).first -
               written.begin();
  }
  harness::Folder relaid;
  harness::Folder folder;
};

TEST_F(RealData, UsgsSmcRecord) {
  const auto files = use("smc");
  ASSERT_EQ(files[2].size(), 32u + 751);
  EXPECT_EQ(files[2][5].substr(0, 49), "station = San Francisco, 1295 Shafter, F componen");
  expect_converted(files);
  // A field pair that touches: " 1.5057E+0-2.2223E+0" opens the first component.
  EXPECT_EQ(folder.read("t.csv").substr(0, 42).substr(8, 10), "     1.506");
}

TEST_F(RealData, CsmipV2Record) {
  const auto files = use("v2");
  ASSERT_EQ(files[2].size(), 32u + 407);
  EXPECT_EQ(files[0][30].substr(0, 26), " 3250 POINTS OF ACCEL DATA");
  expect_converted(files);
}

TEST_F(RealData, CtrlZPaddingEndsTheFile) {
  const auto files = use("v2_ctrlz");
  // The padding ends the file: the line before it is the last data record.
  auto expected = files;
  expected[2].resize(32 + 408);
  expect_converted(expected);
}

TEST_F(RealData, TrailerLineIsAnUnexpectedCharacter) {
  const auto files = use("v2_trailer");
  const auto outcome = folder.run("t.csv\n");
  EXPECT_EQ(outcome.out, harness::banner() + echoes(files[0]) + counters(407) + echoes(files[1]) +
                             counters(407) + echoes(files[2]));
  EXPECT_EQ(outcome.err, "fmt: read unexpected character\n"
                         "apparent state: unit 11 named WKZ-base-UP.txt\n"
                         "last format: (8E10.4)\n"
                         "lately reading sequential formatted external IO\n");
  EXPECT_TRUE(outcome.aborted);
}

} // namespace
