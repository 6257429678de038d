#include "memory_folder.h"

#include <cerrno>
#include <cstring>

namespace cdmg {

namespace {

// The folder above the working folder, and the root: the run sees nothing
// in them.
constexpr const char *kOutside = "/..";

std::string parent_of(const std::string &key) {
  const auto slash = key.rfind('/');
  return slash == std::string::npos || slash == 0 ? std::string() : key.substr(0, slash);
}

} // namespace

MemoryFolder::MemoryFolder() {
  nodes_[""] = Node{FileKind::folder, {}, true, true};
  nodes_[kStdin] = Node{FileKind::regular, {}, true, false};
  nodes_[kStdout] = Node{FileKind::regular, {}, false, true};
  nodes_[kStderr] = Node{FileKind::regular, {}, false, true};
  descriptors_.resize(3);
  descriptors_[0] = Open{kStdin, 0, true, false, true};
  descriptors_[1] = Open{kStdout, 0, false, true, true};
  descriptors_[2] = Open{kStderr, 0, false, true, true};
}

void MemoryFolder::add_file(const std::string &name, const std::string &bytes, bool readable,
                            bool writable) {
  nodes_[name] = Node{FileKind::regular, bytes, readable, writable};
}
bool MemoryFolder::exists(const std::string &name) const {
  return nodes_.count(name) != 0;
}
const std::string &MemoryFolder::bytes(const std::string &name) const {
  return nodes_.at(name).bytes;
}
std::map<std::string, std::string> MemoryFolder::files() const {
  std::map<std::string, std::string> found;
  for (const auto &[key, node] : nodes_) {
    if (node.kind == FileKind::regular && key[0] != '/') found[key] = node.bytes;
  }
  return found;
}

void MemoryFolder::set_input(const std::string &bytes) {
  nodes_[kStdin].bytes = bytes;
}

int MemoryFolder::open_descriptors() const {
  int count = 0;
  for (std::size_t fd = 3; fd < descriptors_.size(); ++fd) count += descriptors_[fd].in_use ? 1 : 0;
  return count;
}

int MemoryFolder::resolve(const std::string &name, bool creating, std::string &key) const {
  if (name.empty()) return ENOENT;
  std::vector<std::string> parts;
  for (std::size_t start = 0; start < name.size();) {
    std::size_t end = name.find('/', start);
    if (end == std::string::npos) end = name.size();
    if (end > start) parts.push_back(name.substr(start, end - start));
    start = end + 1;
  }
  // Every part but a last name must lead to a folder.
  std::string at = name[0] == '/' ? kOutside : "";
  for (std::size_t k = 0; k < parts.size(); ++k) {
    const std::string &part = parts[k];
    if (part == ".") continue;
    if (part == "..") {
      at = at.empty() || at[0] == '/' ? kOutside : parent_of(at);
      continue;
    }
    std::string next = at;
    if (!next.empty()) next += '/';
    next += part;
    const auto found = nodes_.find(next);
    if (k + 1 == parts.size()) {
      // A name that ends in '/' names a folder; one made so is refused.
      if (name.back() == '/') {
        if (creating) return EISDIR;
        if (found == nodes_.end()) return ENOENT;
        if (found->second.kind != FileKind::folder) return ENOTDIR;
      }
      key = next;
      return 0;
    }
    if (found == nodes_.end()) return ENOENT;
    if (found->second.kind != FileKind::folder) return ENOTDIR;
    at = next;
  }
  key = at;
  return 0;
}

MemoryFolder::Open *MemoryFolder::descriptor(int fd) {
  if (fd < 0 || static_cast<std::size_t>(fd) >= descriptors_.size() || !descriptors_[fd].in_use)
    return nullptr;
  return &descriptors_[static_cast<std::size_t>(fd)];
}

int MemoryFolder::examine(const char *name, FileKind &kind) {
  kind = FileKind::missing;
  std::string key;
  if (const int error = resolve(name, false, key)) return error;
  const auto found = nodes_.find(key);
  if (key == kOutside) {
    kind = FileKind::folder;
  } else if (found != nodes_.end()) {
    kind = found->second.kind;
  } else {
    return ENOENT;
  }
  return 0;
}

int MemoryFolder::open(const char *name, OpenMode mode, OpenedFile &file) {
  file = {};
  const bool creating = mode == OpenMode::create_write_only;
  std::string key;
  if (const int error = resolve(name, creating, key)) return error;
  auto found = nodes_.find(key);
  if (key == kOutside) return EISDIR;
  const bool reads = mode != OpenMode::create_write_only;
  const bool writes = mode != OpenMode::read_only;
  if (found == nodes_.end()) {
    if (!creating) return ENOENT;
    const auto parent = nodes_.find(parent_of(key));
    if (parent == nodes_.end() || !parent->second.writable || key[0] == '/') return EACCES;
    nodes_.emplace(key, Node{});
  } else {
    Node &node = found->second;
    if (node.kind == FileKind::folder) return EISDIR;
    if ((reads && !node.readable) || (writes && !node.writable)) return EACCES;
    if (creating && node.kind == FileKind::regular) node.bytes.clear();
  }
  descriptors_.push_back(Open{key, 0, reads, writes, true});
  const Node &node = nodes_.at(key);
  file = {static_cast<int>(descriptors_.size() - 1), node.kind == FileKind::regular};
  last_opened_ = key;
  return 0;
}

int MemoryFolder::read(int fd, char *data, std::size_t size, std::size_t &done) {
  done = 0;
  Open *entry = descriptor(fd);
  if (!entry || !entry->reads) return EBADF;
  const Node &node = node_of(*entry);
  if (node.kind != FileKind::regular) return 0;
  const auto at = static_cast<std::size_t>(entry->offset);
  const std::size_t left = at < node.bytes.size() ? node.bytes.size() - at : 0;
  done = size < left ? size : left;
  std::memcpy(data, node.bytes.data() + at, done);
  entry->offset += static_cast<std::int64_t>(done);
  return 0;
}

int MemoryFolder::write(int fd, const char *data, std::size_t size, std::size_t &done) {
  Open *entry = descriptor(fd);
  if (!entry) return EBADF;
  // Not through the virtual call: a system built on this one counts each of
  // its calls once.
  const int error = MemoryFolder::write_at(fd, data, size, entry->offset, done);
  entry->offset += static_cast<std::int64_t>(done);
  return error;
}

int MemoryFolder::write_now(int fd, const char *data, std::size_t size, std::size_t &done) {
  return MemoryFolder::write(fd, data, size, done); // a file takes everything at once
}

int MemoryFolder::write_at(int fd, const char *data, std::size_t size, std::int64_t offset,
                           std::size_t &done) {
  done = 0;
  Open *entry = descriptor(fd);
  if (!entry || !entry->writes) return EBADF;
  std::string &text = node_of(*entry).bytes;
  const auto at = static_cast<std::size_t>(offset);
  if (text.size() < at + size) text.resize(at + size, '\0');
  text.replace(at, size, data, size);
  done = size;
  return 0;
}

int MemoryFolder::position(int fd, std::int64_t &offset) {
  offset = -1;
  const Open *entry = descriptor(fd);
  if (!entry) return EBADF;
  offset = entry->offset;
  return 0;
}

int MemoryFolder::seek(int fd, std::int64_t offset) {
  Open *entry = descriptor(fd);
  if (!entry) return EBADF;
  if (offset < 0) return EINVAL;
  entry->offset = offset;
  return 0;
}

int MemoryFolder::size(int fd, std::int64_t &bytes) {
  bytes = -1;
  Open *entry = descriptor(fd);
  if (!entry) return EBADF;
  const Node &node = node_of(*entry);
  bytes = node.kind == FileKind::regular ? static_cast<std::int64_t>(node.bytes.size()) : 0;
  return 0;
}

int MemoryFolder::cut_back(int fd, std::int64_t length) {
  Open *entry = descriptor(fd);
  if (!entry || !entry->writes) return EINVAL;
  node_of(*entry).bytes.resize(static_cast<std::size_t>(length));
  return 0;
}

int MemoryFolder::close(int fd) {
  Open *entry = descriptor(fd);
  if (!entry) return EBADF;
  entry->in_use = false;
  return 0;
}

void MemoryFolder::end_process(int status) {
  throw Ended{false, status};
}

void MemoryFolder::abort_process(bool core_dump) {
  throw Ended{true, 0, core_dump};
}

} // namespace cdmg
