// Runs commands many times with standard input from a file, standard output
// to /dev/null, and prints the median wall-clock time of each in
// milliseconds. Several commands (separated by "--") run in turn, one run of
// each per round, so that they share the machine's changing load alike.
// Usage: time_runs RUNS INPUT-FILE COMMAND [ARGS...] [-- INPUT-FILE COMMAND [ARGS...]]...
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

struct Command {
  const char *input;
  std::vector<char *> argv; // ends with a null pointer
  std::vector<double> times;
};

bool run_once(Command &command) {
  const auto start = std::chrono::steady_clock::now();
  const pid_t child = fork();
  if (child == 0) {
    const int in = open(command.input, O_RDONLY);
    const int out = open("/dev/null", O_WRONLY);
    if (in < 0 || out < 0) _exit(127);
    dup2(in, 0);
    dup2(out, 1);
    execv(command.argv[0], command.argv.data());
    _exit(127);
  }
  int status = 0;
  waitpid(child, &status, 0);
  const auto end = std::chrono::steady_clock::now();
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::fprintf(stderr, "%s failed\n", command.argv[0]);
    return false;
  }
  command.times.push_back(std::chrono::duration<double, std::milli>(end - start).count());
  return true;
}

} // namespace

int main(int argc, char **argv) {
  if (argc < 4) return 2;
  const int runs = std::atoi(argv[1]);
  std::vector<Command> commands;
  for (int k = 2; k < argc;) {
    if (k + 1 >= argc) return 2;
    Command command{argv[k], {}, {}};
    for (k += 1; k < argc && std::strcmp(argv[k], "--") != 0; ++k) command.argv.push_back(argv[k]);
    command.argv.push_back(nullptr);
    commands.push_back(command);
    if (k < argc) ++k; // the "--"
  }
  for (int round = 0; round < runs; ++round) {
    for (Command &command : commands) {
      if (!run_once(command)) return 1;
    }
  }
  for (Command &command : commands) {
    std::sort(command.times.begin(), command.times.end());
    std::printf("%.3f\n", command.times[command.times.size() / 2]);
  }
  return 0;
}
