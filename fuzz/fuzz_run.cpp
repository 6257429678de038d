// The whole run over arbitrary bytes: three component files and the console
// input, split at "|||". The real reader and writer run over real files in
// a private temporary folder; the run must end normally with a table of
// 42 x nt well-formed bytes, or by the failure report.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>

#include "run.h"
#include "units.h"

namespace fs = std::filesystem;

namespace {

struct AbnormalEnd {};
[[noreturn]] void end_abnormally() {
  throw AbnormalEnd{};
}

fs::path root;
fs::path folder;
fs::path home; // libFuzzer's own folder, for its relative corpus paths

const char *const kComponents[] = {"WKZ-base-N022.txt", "WKZ-base-N292.txt", "WKZ-base-UP.txt"};

std::string slurp(const fs::path &path) {
  std::string bytes;
  if (FILE *f = std::fopen(path.c_str(), "rb")) {
    char buf[65536];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) bytes.append(buf, n);
    std::fclose(f);
  }
  return bytes;
}

void put(const fs::path &path, std::string_view bytes) {
  FILE *f = std::fopen(path.c_str(), "wb");
  if (!f) std::abort();
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
}

// An F field: blanks, an optional minus, digits, a point and three digits;
// or asterisks; or an infinity.
bool field_shape(std::string_view f) {
  if (f.find_first_not_of('*') == std::string_view::npos) return true;
  std::size_t k = f.find_first_not_of(' ');
  if (k == std::string_view::npos) return false;
  std::string_view text = f.substr(k);
  if (text[0] == '-') text.remove_prefix(1);
  if (text == "inf") return true;
  if (text.size() < 5 || text[text.size() - 4] != '.') return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (i != text.size() - 4 && (text[i] < '0' || text[i] > '9')) return false;
  }
  return true;
}

// The name the program must have used: the first line of the console input,
// its first 80 characters, less trailing blanks.
std::string typed_name(std::string_view input) {
  std::size_t end = input.find_first_of(std::string_view("\n\x1a", 2));
  std::string line(input.substr(0, end));
  if (end != std::string_view::npos && input[end] == '\n' && !line.empty() && line.back() == '\r')
    line.pop_back();
  line = line.substr(0, 80);
  while (!line.empty() && line.back() == ' ') line.pop_back();
  return line;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  std::string pattern = (fs::temp_directory_path() / "cdmg-fuzz-XXXXXX").string();
  if (!mkdtemp(pattern.data())) std::abort();
  root = pattern;
  home = fs::current_path();
  folder = root / "run";
  cdmg::set_abnormal_end_hook(end_abnormally);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  std::string_view rest(reinterpret_cast<const char *>(data), size);
  std::vector<std::string_view> parts;
  for (int k = 0; k < 3; ++k) {
    const std::size_t cut = rest.find("|||");
    if (cut == std::string_view::npos) break;
    parts.push_back(rest.substr(0, cut));
    rest.remove_prefix(cut + 3);
  }
  parts.push_back(rest);
  // The last part is the console input; names stay inside the folder.
  std::string input(parts.back());
  parts.pop_back();
  for (char &c : input) {
    if (c == '/') c = '_';
  }

  std::error_code ignored;
  fs::remove_all(folder, ignored);
  fs::create_directory(folder);
  for (std::size_t k = 0; k < parts.size(); ++k) put(folder / kComponents[k], parts[k]);
  put(root / "stdin", input);
  const int in = open((root / "stdin").c_str(), O_RDONLY);
  const int out = open((root / "stdout").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  const int err = open((root / "stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (in < 0 || out < 0 || err < 0) std::abort();
  if (chdir(folder.c_str()) != 0) std::abort();

  cdmg::reset_units();
  cdmg::connect_standard_units(err, in, out);
  bool normal = true;
  std::int32_t nt = 0;
  try {
    nt = cdmg::run_sequence();
    cdmg::exit_time_closing();
  } catch (const AbnormalEnd &) {
    normal = false;
  }
  if (chdir(home.c_str()) != 0) std::abort();
  close(in);
  close(out);
  close(err);

  const std::string report = slurp(root / "stderr");
  if (normal) {
    if (!report.empty()) std::abort();
    if (nt < 0 || nt > 33000 || nt % 8 != 0) std::abort();
    const std::string table = slurp(folder / typed_name(input));
    if (table.size() != 42u * static_cast<std::size_t>(nt)) std::abort();
    for (std::size_t r = 0; r < table.size(); r += 42) {
      const std::string_view row(table.data() + r, 42);
      if (row[7] != ',' || row[18] != ',' || row[29] != ',' || row.substr(40) != "\r\n")
        std::abort();
      if (!field_shape(row.substr(0, 7)) || !field_shape(row.substr(8, 10)) ||
          !field_shape(row.substr(19, 10)) || !field_shape(row.substr(30, 10)))
        std::abort();
    }
  } else {
    // One complete report: its state line ends it, and no second report began.
    if (report.size() < 4 || report.compare(report.size() - 4, 4, " IO\n") != 0) std::abort();
    if (report.find("apparent state: unit ") == std::string::npos) std::abort();
  }
  return 0;
}
