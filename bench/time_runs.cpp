// Runs a command many times with standard input from a file, standard output
// to /dev/null, and prints the median wall-clock time in milliseconds.
// Usage: time_runs RUNS INPUT-FILE COMMAND [ARGS...]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

int main(int argc, char **argv) {
  if (argc < 4) return 2;
  const int runs = std::atoi(argv[1]);
  std::vector<double> times;
  for (int k = 0; k < runs; ++k) {
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child == 0) {
      const int in = open(argv[2], O_RDONLY);
      const int out = open("/dev/null", O_WRONLY);
      if (in < 0 || out < 0) _exit(127);
      dup2(in, 0);
      dup2(out, 1);
      execv(argv[3], argv + 3);
      _exit(127);
    }
    int status = 0;
    waitpid(child, &status, 0);
    const auto end = std::chrono::steady_clock::now();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      std::fprintf(stderr, "%s failed\n", argv[3]);
      return 1;
    }
    times.push_back(std::chrono::duration<double, std::milli>(end - start).count());
  }
  std::sort(times.begin(), times.end());
  std::printf("%.3f\n", times[times.size() / 2]);
  return 0;
}
