// The same checks of the system seam against the in-memory system and the
// native one in a temporary folder: an in-memory system that disagreed with
// the platform would let the frame's tests pass falsely.
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "harness.h"
#include "memory_system.h"
#include "system.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace {

namespace fs = std::filesystem;

using cdmg::FileKind;
using cdmg::OpenMode;

// The folder holds "file.txt" ("0123456789"), "folder", "read-only.txt"
// (checked where this user may not write it), a device and, with `fifo`, a
// FIFO that nobody reads.
void check_seam(cdmg::System &sys, bool read_only_refused, bool fifo, const char *device) {
  FileKind kind = FileKind::regular;
  cdmg::OpenedFile file;
  int &fd = file.fd;
  std::size_t done = 0;
  std::int64_t at = -1;
  EXPECT_EQ(sys.examine("missing.txt", kind), ENOENT);
  EXPECT_EQ(kind, FileKind::missing);
  EXPECT_EQ(sys.open("missing.txt", OpenMode::read_only, file), ENOENT);
  EXPECT_EQ(sys.examine("folder", kind), 0);
  EXPECT_EQ(kind, FileKind::folder);
  for (const OpenMode mode :
       {OpenMode::read_write, OpenMode::read_only, OpenMode::create_write_only}) {
    EXPECT_EQ(sys.open("folder", mode, file), EISDIR) << "a folder opens in no way";
  }
  if (read_only_refused) {
    EXPECT_EQ(sys.open("read-only.txt", OpenMode::read_write, file), EACCES);
    ASSERT_EQ(sys.open("read-only.txt", OpenMode::read_only, file), 0);
    EXPECT_EQ(sys.close(fd), 0);
  }
  // Positioned writes leave the position; the cut-back.
  ASSERT_EQ(sys.open("file.txt", OpenMode::read_write, file), 0);
  EXPECT_TRUE(file.positionable);
  EXPECT_EQ(sys.write_at(fd, "AB", 2, 4, done), 0);
  EXPECT_EQ(sys.write_now(fd, "xy", 2, done), 0);
  EXPECT_EQ(done, 2u);
  EXPECT_EQ(sys.seek(fd, 8), 0);
  EXPECT_EQ(sys.write(fd, "Z", 1, done), 0);
  EXPECT_EQ(sys.position(fd, at), 0);
  EXPECT_EQ(at, 9);
  EXPECT_EQ(sys.cut_back(fd, 7), 0);
  EXPECT_EQ(sys.size(fd, at), 0);
  EXPECT_EQ(at, 7);
  char bytes[16] = {};
  EXPECT_EQ(sys.seek(fd, 0), 0);
  EXPECT_EQ(sys.read(fd, bytes, sizeof bytes, done), 0);
  EXPECT_EQ(std::string(bytes, done), "xy23AB6");
  EXPECT_EQ(sys.close(fd), 0);
  ASSERT_EQ(sys.open(device, OpenMode::read_write, file), 0);
  EXPECT_FALSE(file.positionable) << "a device";
  EXPECT_EQ(sys.close(fd), 0);
  if (!fifo) return;
  // A FIFO nobody reads: never positioned; whole writes until it is full.
  EXPECT_EQ(sys.examine("fifo", kind), 0);
  EXPECT_EQ(kind, FileKind::fifo);
  ASSERT_EQ(sys.open("fifo", OpenMode::read_write, file), 0);
  EXPECT_FALSE(file.positionable);
  EXPECT_EQ(sys.position(fd, at), ESPIPE);
  EXPECT_EQ(sys.write_at(fd, "A", 1, 0, done), ESPIPE);
  const std::string chunk(97 * 42, 'r'); // the frame's writes to a pipe
  int taken = 0;
  while (sys.write_now(fd, chunk.data(), chunk.size(), done) == 0 && done == chunk.size()) ++taken;
  EXPECT_EQ(done, 0u) << "a write up to the atomic size goes whole or not at all";
  EXPECT_EQ(taken, 16) << "the FIFO's 64 KiB";
  EXPECT_EQ(sys.close(fd), 0);
}

// Names as Linux takes them in a folder, which the in-memory folder (the
// browser page's) must take alike: "." and empty parts skipped, a part
// before '/' a folder, a name ending in '/' a folder (and none made so).
void check_names(cdmg::System &sys) {
  struct Case {
    const char *name;
    int examine, read_write, read_only, create;
  };
  const Case cases[] = {
      {"./made.txt", ENOENT, ENOENT, ENOENT, 0},
      {"made.txt/", ENOTDIR, ENOTDIR, ENOTDIR, EISDIR},
      {"made.txt/.", ENOTDIR, ENOTDIR, ENOTDIR, ENOTDIR},
      {"made.txt/../made.txt", ENOTDIR, ENOTDIR, ENOTDIR, ENOTDIR},
      {"new/", ENOENT, ENOENT, ENOENT, EISDIR},
      {"new/.", ENOENT, ENOENT, ENOENT, ENOENT},
      {"a//b", ENOENT, ENOENT, ENOENT, ENOENT},
      {"", ENOENT, ENOENT, ENOENT, ENOENT},
      {".", 0, EISDIR, EISDIR, EISDIR},
      {"./", 0, EISDIR, EISDIR, EISDIR},
      {"..", 0, EISDIR, EISDIR, EISDIR},
      {"folder/..", 0, EISDIR, EISDIR, EISDIR},
      {".//./made.txt", 0, 0, 0, 0},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(std::string("\"") + c.name + "\"");
    FileKind kind = FileKind::missing;
    cdmg::OpenedFile file;
    EXPECT_EQ(sys.examine(c.name, kind), c.examine);
    const int expected[] = {c.read_write, c.read_only, c.create};
    int k = 0;
    for (const OpenMode mode :
         {OpenMode::read_write, OpenMode::read_only, OpenMode::create_write_only}) {
      const int error = sys.open(c.name, mode, file);
      EXPECT_EQ(error, expected[k++]);
      if (error == 0) {
        EXPECT_EQ(sys.close(file.fd), 0);
      }
    }
  }
}

TEST(Seam, InMemory) {
  cdmg::testing::MemorySystem memory;
  memory.add_file("file.txt", "0123456789");
  memory.add_folder("folder");
  memory.add_file("read-only.txt", "r", true, false);
  memory.add_fifo("fifo", "", 65536);
  memory.add_device("null");
  check_seam(memory, true, true, "null");
  check_names(memory);
}

TEST(Seam, Native) {
#ifdef __EMSCRIPTEN__
  GTEST_SKIP() << "the page has no native system: it runs on the in-memory folder";
#endif
  const harness::Folder folder;
  const auto was = fs::current_path();
  fs::current_path(folder.path());
  folder.write("file.txt", "0123456789");
  fs::create_directory("folder");
  folder.write("read-only.txt", "r");
  fs::permissions("read-only.txt",
                  fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  const bool read_only_refused = !std::ofstream("read-only.txt", std::ios::app).is_open();
#ifdef _WIN32
  check_seam(cdmg::native_system(), read_only_refused, false, "NUL");
#else
  ASSERT_EQ(mkfifo("fifo", 0644), 0);
  check_seam(cdmg::native_system(), read_only_refused, true, "/dev/null");
  check_names(cdmg::native_system());
#endif
  fs::current_path(was);
  if (!read_only_refused)
    std::printf("this user may write a read-only file: that row not checked\n");
}

} // namespace
