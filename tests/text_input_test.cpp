// Records of a text stream: line feed, dropped carriage return, byte 26.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "memory_system.h"
#include "text_input.h"

namespace {

struct Record {
  std::string text;
  bool line_feed;
  bool operator==(const Record &) const = default;
};

std::ostream &operator<<(std::ostream &out, const Record &r) {
  return out << '"' << r.text << '"' << (r.line_feed ? " LF" : " EOF");
}

// Every record of `bytes`, read through a buffer of `capacity` bytes, until
// the first that the end of the file cut off.
std::vector<Record> records(const std::string &bytes, std::size_t capacity) {
  cdmg::testing::MemorySystem system;
  system.add_file("f", bytes);
  cdmg::OpenedFile file;
  EXPECT_EQ(system.open("f", cdmg::OpenMode::read_only, file), 0);
  std::vector<char> storage(capacity);
  cdmg::TextInput input;
  input.attach(system, file.fd, storage.data(), storage.size());
  std::vector<Record> found;
  for (;;) {
    cdmg::RecordView view{};
    EXPECT_EQ(input.next_record(view), 0);
    found.push_back({std::string(view.chars, view.length), view.line_feed});
    if (!view.line_feed) break;
  }
  return found;
}

TEST(TextInput, RecordRules) {
  struct Case {
    const char *what;
    std::string bytes;
    std::vector<Record> expected;
  };
  const std::string eighty(80, 'x');
  const std::vector<Case> cases = {
      {"line feeds", "a\nbc\n", {{"a", true}, {"bc", true}, {"", false}}},
      {"CR LF", "a\r\nb\r\n", {{"a", true}, {"b", true}, {"", false}}},
      {"lone CR stays", "a\rb\nc\r", {{"a\rb", true}, {"c\r", false}}},
      {"only the CR before LF goes", "a\r\r\n", {{"a\r", true}, {"", false}}},
      {"byte 26 ends the file",
       "a\n\x1a"
       "b\nc\n",
       {{"a", true}, {"", false}}},
      {"byte 26 inside a record",
       "ab\x1a"
       "cd\n",
       {{"ab", false}}},
      {"long records keep 80", eighty + "yyy\r\nz", {{eighty, true}, {"z", false}}},
      {"CR in column 81", eighty + "\r\n", {{eighty, true}, {"", false}}},
      {"empty", "", {{"", false}}},
  };
  for (const auto &c : cases) {
    for (std::size_t capacity : {1u, 2u, 3u, 7u, 4096u}) {
      EXPECT_EQ(records(c.bytes, capacity), c.expected) << c.what << ", buffer " << capacity;
    }
  }
}

} // namespace
