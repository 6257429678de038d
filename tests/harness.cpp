#include "harness.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace harness {

Folder::Folder() {
  std::random_device seed;
  std::mt19937_64 random(seed());
  for (int attempt = 0; root_.empty(); ++attempt) {
    const fs::path candidate =
        fs::temp_directory_path() / ("cdmg2csv-test-" + std::to_string(random()));
    if (fs::create_directory(candidate)) root_ = candidate;
    if (attempt > 100) throw std::runtime_error("no temporary folder");
  }
  run_ = root_ / "run";
  fs::create_directory(run_);
}

Folder::~Folder() {
  std::error_code ignored;
  // Windows deletes no read-only file: all is made the owner's again first.
  const auto add = fs::perm_options::add;
  for (fs::recursive_directory_iterator it(root_, ignored), end; it != end; it.increment(ignored))
    if (!it->is_symlink(ignored)) fs::permissions(*it, fs::perms::owner_all, add, ignored);
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

#ifdef _WIN32

namespace {

// The console's CR LF as "\n", when every line feed has its CR.
std::string from_console(const std::string &bytes) {
  std::string text;
  for (std::size_t k = 0; k < bytes.size(); ++k) {
    if (bytes[k] == '\r' && k + 1 < bytes.size() && bytes[k + 1] == '\n') continue;
    if (bytes[k] == '\n' && (k == 0 || bytes[k - 1] != '\r')) return bytes;
    text += bytes[k];
  }
  return text;
}

HANDLE inheritable(const fs::path &path, bool write) {
  SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  return CreateFileW(path.wstring().c_str(), write ? GENERIC_WRITE : GENERIC_READ,
                     FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                     write ? CREATE_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

} // namespace

Outcome Folder::run(const std::string &input) const {
  const fs::path in = root_ / "stdin", out = root_ / "stdout", err = root_ / "stderr";
  std::ofstream(in, std::ios::binary) << input;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = inheritable(in, false);
  startup.hStdOutput = inheritable(out, true);
  startup.hStdError = inheritable(err, true);
  std::wstring command = L"\"" + fs::absolute(CDMG2CSV_PATH).wstring() + L"\"";
  PROCESS_INFORMATION process{};
  const BOOL started = CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                      run_.wstring().c_str(), &startup, &process);
  CloseHandle(startup.hStdInput);
  CloseHandle(startup.hStdOutput);
  CloseHandle(startup.hStdError);
  if (!started) throw std::runtime_error("cannot start cdmg2csv");
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hProcess);
  CloseHandle(process.hThread);
  Outcome outcome;
  outcome.out = from_console(read_file(out));
  outcome.err = from_console(read_file(err));
  outcome.exit_status = static_cast<int>(code);
  outcome.aborted = code == 3;
  return outcome;
}

#else

Outcome Folder::run(const std::string &input) const {
  return start(input, true);
}

Outcome Folder::run_without_error_stream(const std::string &input) const {
  return start(input, false);
}

Outcome Folder::start(const std::string &input, bool with_error_stream) const {
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
    close(fd_in);
    close(fd_out);
    close(fd_err);
    if (!with_error_stream) close(2);
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
  outcome.core_dumped = WIFSIGNALED(status) && WCOREDUMP(status);
  outcome.aborted = outcome.signal == SIGABRT;
  return outcome;
}

#endif

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

std::string echoed_headers(const std::string &label, bool both) {
  return " " + pad80("RECORD SIX " + label) + "\n" +
         (both ? " " + pad80("RECORD 31 " + label) + "\n" : "");
}

std::string counter_lines(int i, int in, int nt) {
  return " i,in= " + std::to_string(i) + ' ' + std::to_string(in) + "\n nt= " + std::to_string(nt) +
         '\n';
}

std::string component_lines(const std::string &label, int i, int in, int nt) {
  return echoed_headers(label) + counter_lines(i, in, nt);
}

std::string output_prompt() {
  return "\n Enter Output Acceleration File Name (CSV format)\n";
}

std::string console(int records_x, int records_y, int records_z) {
  return banner() + component_lines("X", records_x + 1, 8 * records_x + 1, 8 * records_x) +
         component_lines("Y", records_y + 1, 8 * records_y + 1, 8 * records_y) +
         component_lines("Z", records_z + 1, 8 * records_z + 1, 8 * records_z) + output_prompt();
}

std::string state(const std::string &unit, const char *format, const char *direction) {
  std::string text = "apparent state: unit " + unit + "\n";
  if (format) text += std::string("last format: ") + format + "\n";
  return text + "lately " + direction + " sequential formatted external IO\n";
}

std::vector<std::string> records(int count, const std::string &line) {
  return std::vector<std::string>(static_cast<std::size_t>(count), line);
}

std::string row(double t, double x, double y, double z) {
  char text[64];
  std::snprintf(text, sizeof text, "%7.3f,%10.3f,%10.3f,%10.3f\r\n", t, x, y, z);
  return text;
}

} // namespace harness
