// Runs stopped from outside: interrupt, termination, floating-point fault and
// abort signals sent to the real program while it waits or reads.
#ifdef _WIN32

#include <gtest/gtest.h>

TEST(Signals, SentFromOutside) {
  GTEST_SKIP() << "signals sent from outside and FIFOs are POSIX set-ups";
}

#else
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <poll.h>
#include <string>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include <gtest/gtest.h>

#include "harness.h"

namespace {

// Long enough for any loaded machine; a run that works ends far sooner.
constexpr auto generous_deadline = std::chrono::seconds(60);
// How often a wait looks at the other process's state.
constexpr auto poll_interval = std::chrono::milliseconds(2);

// The scheduler state of a process ('R' running, 'S' sleeping, ...).
char process_state(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  // The state follows the command name, which is in parentheses.
  const auto close = text.rfind(')');
  return close == std::string::npos || close + 2 >= text.size() ? '?' : text[close + 2];
}

using harness::banner;
using harness::component_file;
using harness::component_lines;
using harness::Folder;
using harness::output_prompt;

// The program running in a folder, its standard input a pipe held open.
class LiveRun {
public:
  LiveRun(const Folder &folder, bool ignore_interrupt = false) {
    int in[2], out[2];
    if (pipe(in) != 0 || pipe(out) != 0) throw std::runtime_error("pipe");
    err_path_ = folder.path().parent_path() / "live-stderr";
    pid_ = fork();
    if (pid_ == 0) {
      if (chdir(folder.path().c_str()) != 0) _exit(120);
      const int err = open(err_path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      dup2(in[0], 0);
      dup2(out[1], 1);
      dup2(err, 2);
      close(in[1]);
      close(out[0]);
      if (ignore_interrupt) signal(SIGINT, SIG_IGN);
      execl(CDMG2CSV_PATH, "cdmg2csv", static_cast<char *>(nullptr));
      _exit(122);
    }
    close(in[0]);
    close(out[1]);
    stdin_ = in[1];
    stdout_ = out[0];
  }
  ~LiveRun() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (stdin_ >= 0) close(stdin_);
    close(stdout_);
  }

  // Reads standard output until it ends with `text`. Gives up only when the
  // program closes its standard output or a generous deadline passes: a
  // loaded machine can take long to deliver the transcript.
  bool wait_for_output_ending(const std::string &text) {
    const auto deadline = std::chrono::steady_clock::now() + generous_deadline;
    while (!(out_.size() >= text.size() &&
             out_.compare(out_.size() - text.size(), text.size(), text) == 0)) {
      if (!read_some(deadline)) return false;
    }
    return true;
  }

  void send_input(const std::string &text) {
    ASSERT_EQ(write(stdin_, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    close(stdin_);
    stdin_ = -1;
  }

  // Waits for the end; collects the rest of standard output and standard
  // error. A program still running at the deadline is killed: the outcome
  // then shows SIGKILL.
  harness::Outcome finish() {
    const auto deadline = std::chrono::steady_clock::now() + generous_deadline;
    while (read_some(deadline)) {
    }
    int status = 0;
    for (;;) {
      const pid_t ended = waitpid(pid_, &status, WNOHANG);
      if (ended == pid_) break;
      if (ended < 0 && errno != EINTR) break;
      if (std::chrono::steady_clock::now() > deadline) {
        kill(pid_, SIGKILL);
        while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
        break;
      }
      std::this_thread::sleep_for(poll_interval);
    }
    pid_ = -1;
    harness::Outcome outcome;
    outcome.out = out_;
    outcome.err = harness::read_file(err_path_);
    if (WIFEXITED(status)) outcome.exit_status = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) outcome.signal = WTERMSIG(status);
    return outcome;
  }

  pid_t pid() const { return pid_; }

private:
  // Reads what the program writes next; false at the end of its output or
  // at the deadline.
  bool read_some(std::chrono::steady_clock::time_point deadline) {
    for (;;) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) return false;
      pollfd p{stdout_, POLLIN, 0};
      const int ready = poll(&p, 1, static_cast<int>(left.count()));
      if (ready < 0 && errno == EINTR) continue;
      if (ready <= 0) return false;
      char buf[4096];
      const ssize_t n = read(stdout_, buf, sizeof buf);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return false;
      out_.append(buf, static_cast<std::size_t>(n));
      return true;
    }
  }

  pid_t pid_ = -1;
  int stdin_ = -1;
  int stdout_ = -1;
  std::string out_;
  std::filesystem::path err_path_;
};

class Signals : public ::testing::Test {
protected:
  void SetUp() override {
    folder.write(harness::kComponentNames[0], component_file("X", {}));
    folder.write(harness::kComponentNames[1], component_file("Y", {}));
    folder.write(harness::kComponentNames[2], component_file("Z", {"1"}));
  }
  // A run that ended normally with a table of eight rows.
  void expect_normal_end(const harness::Outcome &outcome) {
    EXPECT_EQ(outcome.out, transcript());
    EXPECT_EQ(outcome.err, "");
    EXPECT_EQ(outcome.exit_status, 0);
    EXPECT_EQ(folder.read("t.csv").size(), 8 * 42u);
  }
  static std::string transcript() {
    return banner() + component_lines("X", 1, 1, 0) + component_lines("Y", 1, 1, 0) +
           component_lines("Z", 2, 9, 8) + output_prompt();
  }
  Folder folder;
};

TEST_F(Signals, WhileWaitingForOutputName) {
  struct Case {
    int signal;
    const char *message;
    int exit_status; // -1: ended by SIGABRT
  };
  const Case cases[] = {
      {SIGINT, "Interrupt\n", 1},
      {SIGTERM, "Killed\n", 1},
      {SIGFPE, "Floating Exception\n", -1},
      {SIGABRT, "IOT Trap\n", -1},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.message);
    LiveRun run(folder);
    ASSERT_TRUE(run.wait_for_output_ending(output_prompt()));
    kill(run.pid(), c.signal);
    const auto outcome = run.finish();
    EXPECT_EQ(outcome.out, transcript());
    EXPECT_EQ(outcome.err, c.message);
    if (c.exit_status < 0) {
      EXPECT_EQ(outcome.signal, SIGABRT);
    } else {
      EXPECT_EQ(outcome.signal, 0);
      EXPECT_EQ(outcome.exit_status, c.exit_status);
    }
    EXPECT_EQ(folder.files().size(), 3u) << "no table file";
  }
}

TEST_F(Signals, TerminationWhileReadingComponent) {
  // The first component is a FIFO that delivers part of its header and then
  // nothing more; the console lines already made still reach standard output.
  const auto fifo = folder.path() / harness::kComponentNames[0];
  std::filesystem::remove(fifo);
  ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
  LiveRun run(folder);
  const int writer = open(fifo.c_str(), O_WRONLY);
  ASSERT_GE(writer, 0);
  const std::string part = harness::header_records("X", 10);
  ASSERT_EQ(write(writer, part.data(), part.size()), static_cast<ssize_t>(part.size()));
  // Wait until the program has taken every byte and sleeps waiting for more:
  // once the FIFO is empty, the reader ran, so its next sleep is the wait for
  // the next bytes, after it dealt with the ten records.
  const auto deadline = std::chrono::steady_clock::now() + generous_deadline;
  for (;;) {
    int unread = 0;
    ASSERT_EQ(ioctl(writer, FIONREAD, &unread), 0);
    if (unread == 0 && process_state(run.pid()) == 'S') break;
    ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "the program never took the records";
    std::this_thread::sleep_for(poll_interval);
  }
  kill(run.pid(), SIGTERM);
  const auto outcome = run.finish();
  close(writer);
  EXPECT_EQ(outcome.out, banner() + harness::echoed_headers("X", false));
  EXPECT_EQ(outcome.err, "Killed\n");
  EXPECT_EQ(outcome.exit_status, 1);
}

// A component that is a FIFO ends when its writer closes it: the program
// opens it for reading only, so it is never a writer of its own FIFO.
TEST_F(Signals, FifoComponentEndsWhenItsWriterCloses) {
  const auto fifo = folder.path() / harness::kComponentNames[2];
  const std::string content = harness::read_file(fifo);
  std::filesystem::remove(fifo);
  ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
  LiveRun run(folder);
  // Waits until the program opens the FIFO for reading.
  const int writer = open(fifo.c_str(), O_WRONLY);
  ASSERT_GE(writer, 0);
  ASSERT_EQ(write(writer, content.data(), content.size()), static_cast<ssize_t>(content.size()));
  close(writer);
  ASSERT_TRUE(run.wait_for_output_ending(output_prompt())) << "the FIFO's end was never seen";
  run.send_input("t.csv\n");
  expect_normal_end(run.finish());
}

// A FIFO table whose reader takes nothing, or 4 KiB whenever the pipe is full;
// an interrupt as soon as rows land. The run ends at once; the reader gets
// whole rows, a prefix of the table. CDMG_FIFO_TRIALS=N: N trials a case.
TEST_F(Signals, InterruptWhileWritingToAFifo) {
  std::string record; // values of 1000 and more: the slower general editing
  for (int field = 0; field < 8; ++field) record += "  12345678";
  folder.write(harness::kComponentNames[2], component_file("Z", harness::records(1000, record)));
  std::string table;
  for (int i = 0; i < 8000; ++i) table += harness::row(i * 0.01, 0, 0, 1234.5678);
  const auto fifo = folder.path() / "t.fifo";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
  const char *trials_text = std::getenv("CDMG_FIFO_TRIALS");
  const int trials = trials_text ? std::atoi(trials_text) : 1;
  for (const bool slow_reader : {false, true}) {
    int torn = 0;
    int hung = 0;
    for (int trial = 0; trial < trials; ++trial) {
      SCOPED_TRACE(std::string(slow_reader ? "slow reader" : "reader takes nothing") + ", trial " +
                   std::to_string(trial));
      const int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
      ASSERT_GE(reader, 0);
      LiveRun run(folder);
      run.send_input("t.fifo\n");
      const auto deadline = std::chrono::steady_clock::now() + generous_deadline;
      for (int unread = 0; unread == 0;) {
        ASSERT_EQ(ioctl(reader, FIONREAD, &unread), 0);
        ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "no row ever reached the FIFO";
      }
      kill(run.pid(), SIGINT);
      std::string got;
      char buf[4096];
      const auto take = [&](std::size_t most) {
        const ssize_t n = read(reader, buf, most);
        if (n > 0) got.append(buf, static_cast<std::size_t>(n));
        return n;
      };
      if (slow_reader) {
        // 4 KiB each time the run has filled the pipe again or has ended (the
        // FIFO hung up), so that its writes meet a full pipe; to the FIFO's end.
        const int full = fcntl(reader, F_GETPIPE_SZ) - static_cast<int>(sizeof buf);
        pollfd end{reader, POLLIN, 0};
        for (int unread = 0;
             take(sizeof buf) != 0 && std::chrono::steady_clock::now() < deadline;) {
          while (poll(&end, 1, 0) >= 0 && (end.revents & POLLHUP) == 0 &&
                 ioctl(reader, FIONREAD, &unread) == 0 && unread <= full &&
                 std::chrono::steady_clock::now() < deadline) {
            std::this_thread::yield();
          }
        }
      }
      const auto outcome = run.finish();
      while (take(sizeof buf) > 0) {
      }
      close(reader);
      hung += outcome.signal == SIGKILL;
      torn += got.size() % 42 != 0;
      EXPECT_EQ(outcome.err, "Interrupt\n");
      EXPECT_EQ(outcome.exit_status, 1);
      EXPECT_EQ(got, table.substr(0, got.size())) << "a prefix of the table";
      EXPECT_EQ(got.size() % 42, 0u) << "whole rows";
    }
    std::printf("%s: %d of %d runs hung, %d readers got a torn row\n",
                slow_reader ? "slow reader" : "reader takes nothing", hung, trials, torn);
  }
}

TEST_F(Signals, InterruptIgnoredAtStartStaysIgnored) {
  LiveRun run(folder, /*ignore_interrupt=*/true);
  ASSERT_TRUE(run.wait_for_output_ending(output_prompt()));
  // An ignored signal is dropped when it is sent; one that was caught would
  // be delivered before the program's read of its input returns.
  kill(run.pid(), SIGINT);
  run.send_input("t.csv\n");
  expect_normal_end(run.finish());
}

} // namespace

#endif
