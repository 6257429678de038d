// Times the phases of a run in-process on a full-capacity record (made by
// make_full_record in the folder): each component's reading and the
// table's writing, beside the floor of each (its file read whole, or the
// table's bytes written, nothing parsed or formatted). Medians of many runs.
// Usage: phase_times FOLDER [RUNS]
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "reader.h"
#include "writer.h"

namespace {

using Clock = std::chrono::steady_clock;

std::string text80(const char *name) {
  std::string text(name);
  text.resize(cdmg::kTextWidth, ' ');
  return text;
}

double milliseconds(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration<double, std::milli>(to - from).count();
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

char floor_buffer[1 << 16];

void read_whole(const char *name) {
  const int fd = open(name, O_RDONLY);
  if (fd < 0) std::exit(1);
  while (read(fd, floor_buffer, sizeof floor_buffer) > 0) {
  }
  close(fd);
}

void write_table_bytes(const char *name) {
  // Over the last run's file, as the program writes its table.
  const int fd = open(name, O_RDWR | O_CREAT, 0666);
  if (fd < 0) std::exit(1);
  static const char row[] = "  0.000,     0.000,     0.000,     0.000\r\n";
  for (std::size_t k = 0; k + 42 <= sizeof floor_buffer; k += 42)
    std::memcpy(floor_buffer + k, row, 42);
  const std::size_t per_write = sizeof floor_buffer / 42 * 42;
  for (std::size_t left = std::size_t{33000} * 42; left > 0;) {
    const std::size_t n = left < per_write ? left : per_write;
    if (write(fd, floor_buffer, n) != static_cast<ssize_t>(n)) std::exit(1);
    left -= n;
  }
  close(fd);
}

float x[cdmg::kCapacity];
float y[cdmg::kCapacity];
float z[cdmg::kCapacity];

} // namespace

int main(int argc, char **argv) {
  if (argc < 2 || chdir(argv[1]) != 0) return 2;
  const int runs = argc > 2 ? std::atoi(argv[2]) : 51;
  const int console = open("/dev/null", O_WRONLY);
  const char *names[] = {"WKZ-base-N022.txt", "WKZ-base-N292.txt", "WKZ-base-UP.txt"};
  float *arrays[] = {x, y, z};
  std::vector<double> program[4];
  std::vector<double> floor[4];
  for (int run = 0; run < runs; ++run) {
    cdmg::Frame frame(cdmg::native_system(), 2, 0, console);
    cdmg::Io io(frame);
    std::int32_t nt = 0;
    for (int c = 0; c < 3; ++c) {
      const auto start = Clock::now();
      nt = cdmg::read_component(io, text80(names[c]), arrays[c]);
      program[c].push_back(milliseconds(start, Clock::now()));
    }
    auto start = Clock::now();
    cdmg::write_table(io, text80("phase.csv"), nt, 0.01f, x, y, z);
    program[3].push_back(milliseconds(start, Clock::now()));
    for (int c = 0; c < 3; ++c) {
      start = Clock::now();
      read_whole(names[c]);
      floor[c].push_back(milliseconds(start, Clock::now()));
    }
    start = Clock::now();
    write_table_bytes("floor.csv");
    floor[3].push_back(milliseconds(start, Clock::now()));
  }
  const char *phases[] = {"component 1", "component 2", "component 3", "table"};
  std::printf("phase          cdmg2csv ms   floor ms   ratio   (medians of %d runs)\n", runs);
  double program_sum = 0;
  double floor_sum = 0;
  for (int p = 0; p < 4; ++p) {
    const double a = median(program[p]);
    const double b = median(floor[p]);
    program_sum += a;
    floor_sum += b;
    std::printf("%-12s %10.3f %10.3f %7.2f\n", phases[p], a, b, a / b);
  }
  std::printf("%-12s %10.3f %10.3f %7.2f\n", "the phases", program_sum, floor_sum,
              program_sum / floor_sum);
  unlink("phase.csv");
  unlink("floor.csv");
  return 0;
}
