// What a fresh process pays for the first touch of the run's sample pages,
// which phase_times (warm arrays) cannot see: three arrays of the program's
// size, static as the program's are, asked for as the run asks for them
// (populate_pages), then written once and again; and, for comparison,
// written without asking. Each measurement is a child process whose arrays
// are untouched; medians of the runs.
// Usage: first_touch [runs]
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "process.h"
#include "run.h"

namespace {

cdmg::Samples samples;

double microseconds_since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start)
      .count();
}

// The asking and the two passes, in microseconds.
struct Times {
  double populate, first, second;
};

Times measure(bool ask) {
  Times t{};
  auto start = std::chrono::steady_clock::now();
  for (float *a : {samples.x, samples.y, samples.z}) {
    if (ask) cdmg::process::populate_pages(a, sizeof samples.x);
  }
  t.populate = microseconds_since(start);
  for (double *pass : {&t.first, &t.second}) {
    start = std::chrono::steady_clock::now();
    for (float *a : {samples.x, samples.y, samples.z}) {
      for (int i = 0; i < cdmg::kCapacity; ++i) a[i] = static_cast<float>(i);
    }
    *pass = microseconds_since(start);
  }
  return t;
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

} // namespace

int main(int argc, char **argv) {
  const int runs = argc > 1 ? std::atoi(argv[1]) : 31;
  std::vector<double> populate, first, second, unasked;
  for (int r = 0; r < 2 * runs; ++r) {
    const bool ask = r % 2 == 0;
    int channel[2];
    if (pipe(channel) != 0) return 1;
    const pid_t child = fork();
    if (child < 0) return 1;
    if (child == 0) {
      const Times t = measure(ask);
      _exit(write(channel[1], &t, sizeof t) == static_cast<ssize_t>(sizeof t) ? 0 : 1);
    }
    close(channel[1]);
    Times t{};
    const bool read_whole = read(channel[0], &t, sizeof t) == static_cast<ssize_t>(sizeof t);
    close(channel[0]);
    int status = 0;
    waitpid(child, &status, 0);
    if (!read_whole || status != 0) return 1;
    if (ask) {
      populate.push_back(t.populate);
      first.push_back(t.first);
      second.push_back(t.second);
    } else {
      unasked.push_back(t.first);
    }
  }
  const double pages = 3.0 * sizeof samples.x / 4096.0;
  std::printf("the sample arrays' %.0f pages, medians of %d fresh processes:\n", pages, runs);
  std::printf("  asked for (populate)   %8.1f us\n", median(populate));
  std::printf("  first pass             %8.1f us  (%.2f us a page)\n", median(first),
              median(first) / pages);
  std::printf("  second pass            %8.1f us\n", median(second));
  std::printf("  first pass, not asked  %8.1f us\n", median(unasked));
  return 0;
}
