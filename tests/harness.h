// Runs the real cdmg2csv in a fresh temporary folder and collects what a
// user would see: standard output, standard error, how it ended, the files.
#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace harness {

// What a run left. On Windows the console's CR LF line ends read back as
// "\n" (only when every line has its CR) and the abort's exit status 3 reads
// as `aborted`, so that one expectation serves both platforms.
struct Outcome {
  std::string out;
  std::string err;
  int exit_status = -1; // when it exited
  int signal = 0;       // when a signal ended it
  bool aborted = false; // the abnormal end: SIGABRT, or status 3 on Windows
  bool core_dumped = false;
};

class Folder {
public:
  Folder();
  ~Folder();
  Folder(const Folder &) = delete;
  Folder &operator=(const Folder &) = delete;

  const std::filesystem::path &path() const { return run_; }
  void write(const std::string &name, const std::string &bytes) const;
  std::string read(const std::string &name) const;
  // Every regular file of the run folder with its bytes.
  std::map<std::string, std::string> files() const;

  // Runs the program here with `input` as standard input (closed after it).
  Outcome run(const std::string &input) const;
  // The same with standard error closed (POSIX only).
  Outcome run_without_error_stream(const std::string &input) const;

private:
  Outcome start(const std::string &input, bool with_error_stream) const;
  std::filesystem::path root_;
  std::filesystem::path run_;
};

std::string read_file(const std::filesystem::path &path);

// The component files' names, in the order they are read.
inline const std::string kComponentNames[3] = {"WKZ-base-N022.txt", "WKZ-base-N292.txt",
                                               "WKZ-base-UP.txt"};

// Component file builders.
std::string header_records(const std::string &label, int count = 32, const char *end = "\n");
std::string component_file(const std::string &label, const std::vector<std::string> &data,
                           const char *end = "\n");

// Expected console text.
std::string pad80(const std::string &text);
std::string banner();
// A component's lines: its echoed header records 6 and 31 (of header_records
// with that label; one or both), then its counter lines.
std::string echoed_headers(const std::string &label, bool both = true);
std::string counter_lines(int i, int in, int nt);
std::string component_lines(const std::string &label, int i, int in, int nt);
std::string output_prompt();
// The console of a run whose three components held these data records.
std::string console(int records_x, int records_y, int records_z);
// The failure report's lines after its first: unit, format (none when
// nullptr) and direction.
std::string state(const std::string &unit, const char *format, const char *direction);
// The row format as the report shows it (byte 2 for its apostrophes).
inline constexpr char kRowFormat[] = "(F7.3,3(\x02,\x02,F10.3))";
// `count` copies of one data record.
std::vector<std::string> records(int count, const std::string &line);
std::string row(double t, double x, double y, double z);

} // namespace harness
