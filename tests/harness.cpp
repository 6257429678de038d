#include "harness.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace harness {

Folder::Folder() {
  std::string pattern = (fs::temp_directory_path() / "cdmg2csv-test-XXXXXX").string();
  if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  root_ = pattern;
  run_ = root_ / "run";
  fs::create_directory(run_);
}

Folder::~Folder() {
  std::error_code ignored;
  fs::permissions(root_, fs::perms::owner_all, fs::perm_options::add, ignored);
  fs::remove_all(root_, ignored);
}

void Folder::write(const std::string &name, const std::string &bytes) const {
  std::ofstream(run_ / name, std::ios::binary) << bytes;
}

std::string read_file(const fs::path &path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

std::string Folder::read(const std::string &name) const {
  return read_file(run_ / name);
}

std::map<std::string, std::string> Folder::files() const {
  std::map<std::string, std::string> found;
  for (const auto &entry : fs::directory_iterator(run_)) {
    if (entry.is_regular_file()) found[entry.path().filename().string()] = read_file(entry.path());
  }
  return found;
}

Outcome Folder::run(const std::string &input) const {
  const fs::path in = root_ / "stdin", out = root_ / "stdout", err = root_ / "stderr";
  std::ofstream(in, std::ios::binary) << input;
  const pid_t child = fork();
  if (child == 0) {
    if (chdir(run_.c_str()) != 0) _exit(120);
    const int fd_in = open(in.c_str(), O_RDONLY);
    const int fd_out = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int fd_err = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd_in < 0 || fd_out < 0 || fd_err < 0) _exit(121);
    dup2(fd_in, 0);
    dup2(fd_out, 1);
    dup2(fd_err, 2);
    execl(CDMG2CSV_PATH, "cdmg2csv", static_cast<char *>(nullptr));
    _exit(122);
  }
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  Outcome outcome;
  outcome.out = read_file(out);
  outcome.err = read_file(err);
  if (WIFEXITED(status)) outcome.exit_status = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) outcome.signal = WTERMSIG(status);
  return outcome;
}

std::string header_records(const std::string &label, int count, const char *end) {
  std::string text;
  for (int n = 1; n <= count; ++n) {
    if (n == 6)
      text += "RECORD SIX " + label;
    else if (n == 31)
      text += "RECORD 31 " + label;
    else
      text += "header " + std::to_string(n);
    text += end;
  }
  return text;
}

std::string component_file(const std::string &label, const std::vector<std::string> &data,
                           const char *end) {
  std::string text = header_records(label, 32, end);
  for (const auto &line : data) text += line + end;
  return text;
}

std::string pad80(const std::string &text) {
  return text + std::string(80 - text.size(), ' ');
}

std::string banner() {
  return " Program for Reading CDMG-TYpe Strong Motion Data\n"
         "\n"
         " Enter 1st File Name of 3 Components\n"
         " Enter 2nd File Name of 3 Components\n"
         " Enter 3rd File Name of 3 Components\n"
         "  assumed dt =  0.00999999978\n";
}

std::string component_lines(const std::string &label, int i, int in, int nt) {
  std::string text(" ");
  text += pad80("RECORD SIX " + label);
  text += "\n ";
  text += pad80("RECORD 31 " + label);
  text += "\n i,in= ";
  text += std::to_string(i);
  text += ' ';
  text += std::to_string(in);
  text += "\n nt= ";
  text += std::to_string(nt);
  text += '\n';
  return text;
}

std::string output_prompt() {
  return "\n Enter Output Acceleration File Name (CSV format)\n";
}

std::string row(double t, double x, double y, double z) {
  char text[64];
  std::snprintf(text, sizeof text, "%7.3f,%10.3f,%10.3f,%10.3f\r\n", t, x, y, z);
  return text;
}

} // namespace harness
