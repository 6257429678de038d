#include "memory_system.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

#include "frame.h"
#include "run.h"
#include "signals.h"

namespace cdmg::testing {

MemorySystem::MemorySystem() {
  nodes_[""] = Node{FileKind::folder, {}, true, true};
  nodes_[kStdin] = Node{FileKind::regular, {}, true, false};
  nodes_[kStdout] = Node{FileKind::regular, {}, false, true};
  nodes_[kStderr] = Node{FileKind::regular, {}, false, true};
  descriptors_.resize(3);
  descriptors_[0] = Open{kStdin, 0, true, false, true};
  descriptors_[1] = Open{kStdout, 0, false, true, true};
  descriptors_[2] = Open{kStderr, 0, false, true, true};
}

void MemorySystem::add_file(const std::string &name, const std::string &bytes, bool readable,
                            bool writable) {
  nodes_[name] = Node{FileKind::regular, bytes, readable, writable};
}
void MemorySystem::add_folder(const std::string &name, bool writable) {
  nodes_[name] = Node{FileKind::folder, {}, true, writable};
}
void MemorySystem::add_fifo(const std::string &name, const std::string &bytes,
                            std::size_t capacity) {
  nodes_[name] = Node{FileKind::fifo, bytes, true, true, capacity};
}
void MemorySystem::add_device(const std::string &name) {
  nodes_[name] = Node{FileKind::character_device, {}, true, true};
}
bool MemorySystem::exists(const std::string &name) const {
  return nodes_.count(name) != 0;
}
const std::string &MemorySystem::bytes(const std::string &name) const {
  return nodes_.at(name).bytes;
}
std::map<std::string, std::string> MemorySystem::files() const {
  std::map<std::string, std::string> found;
  for (const auto &[name, node] : nodes_) {
    if (node.kind == FileKind::regular && name[0] != '\n') found[name] = node.bytes;
  }
  return found;
}

void MemorySystem::set_input(const std::string &bytes) {
  nodes_[kStdin].bytes = bytes;
}

int MemorySystem::open_descriptors() const {
  int count = 0;
  for (std::size_t fd = 3; fd < descriptors_.size(); ++fd) count += descriptors_[fd].in_use;
  return count;
}

const Fault *MemorySystem::next_fault(Call call) {
  const int nth = ++counts_[static_cast<int>(call)];
  for (const Fault &fault : faults_) {
    if (fault.call == call && fault.nth == nth) return &fault;
  }
  return nullptr;
}

void MemorySystem::deliver(const Fault *fault, bool before_work) {
  // As on the platform: no signal while the frame holds them off, and none
  // while a handler runs (each handler holds off the others).
  if (fault && fault->signal != 0 && fault->before_work == before_work && handler_ &&
      !in_handler_ && !signals_held()) {
    in_handler_ = true;
    handler_(fault->signal);
  }
}

int MemorySystem::reach(const std::string &name) const {
  for (std::size_t slash = name.find('/'); slash != std::string::npos;
       slash = name.find('/', slash + 1)) {
    const auto parent = nodes_.find(name.substr(0, slash));
    if (parent == nodes_.end()) return ENOENT;
    if (parent->second.kind != FileKind::folder) return ENOTDIR;
  }
  return 0;
}

MemorySystem::Open *MemorySystem::descriptor(int fd) {
  if (fd < 0 || static_cast<std::size_t>(fd) >= descriptors_.size() || !descriptors_[fd].in_use)
    return nullptr;
  return &descriptors_[static_cast<std::size_t>(fd)];
}

int MemorySystem::examine(const char *name, FileKind &kind) {
  kind = FileKind::missing;
  const Fault *fault = next_fault(Call::examine);
  if (fault && fault->error) return fault->error;
  if (const int error = reach(name)) return error;
  const auto found = nodes_.find(name);
  if (found == nodes_.end() || *name == '\0') return ENOENT;
  kind = found->second.kind;
  return 0;
}

int MemorySystem::open(const char *name_text, OpenMode mode, int &fd) {
  fd = -1;
  const Fault *fault = next_fault(Call::open);
  deliver(fault, true);
  if (fault && fault->error) return fault->error;
  const std::string name = name_text;
  if (const int error = reach(name)) return error;
  auto found = nodes_.find(name);
  const bool reads = mode != OpenMode::create_write_only;
  const bool writes = mode != OpenMode::read_only;
  if (found == nodes_.end() || name.empty()) {
    if (mode != OpenMode::create_write_only || name.empty()) return ENOENT;
    const auto slash = name.rfind('/');
    const std::string parent = slash == std::string::npos ? "" : name.substr(0, slash);
    if (!nodes_[parent].writable) return EACCES;
    found = nodes_.emplace(name, Node{}).first;
  } else {
    Node &node = found->second;
    if (node.kind == FileKind::folder) return EISDIR;
    if ((reads && !node.readable) || (writes && !node.writable)) return EACCES;
    if (mode == OpenMode::create_write_only && node.kind == FileKind::regular) node.bytes.clear();
  }
  descriptors_.push_back(Open{name, 0, reads, writes, true});
  fd = static_cast<int>(descriptors_.size() - 1);
  deliver(fault, false);
  return 0;
}

int MemorySystem::read(int fd, char *data, std::size_t size, std::size_t &done) {
  done = 0;
  const Fault *fault = next_fault(Call::read);
  deliver(fault, true);
  if (fault && fault->error) return fault->error;
  Open *open = descriptor(fd);
  if (!open || !open->reads) return EBADF;
  Node &node = nodes_.at(open->name);
  std::size_t want = size;
  if (read_chunk_ != 0 && want > read_chunk_) want = read_chunk_;
  if (fault && fault->limit != 0 && want > fault->limit) want = fault->limit;
  if (node.kind == FileKind::fifo) {
    // A FIFO hands each byte over once; with no writer left but the reader
    // itself, its end never comes.
    if (node.bytes.empty() && open->writes) throw WaitsForever{};
    done = want < node.bytes.size() ? want : node.bytes.size();
    std::memcpy(data, node.bytes.data(), done);
    node.bytes.erase(0, done);
  } else if (node.kind == FileKind::regular) {
    const auto at = static_cast<std::size_t>(open->offset);
    const std::size_t left = at < node.bytes.size() ? node.bytes.size() - at : 0;
    done = want < left ? want : left;
    std::memcpy(data, node.bytes.data() + at, done);
    open->offset += static_cast<std::int64_t>(done);
  }
  deliver(fault, false);
  return 0;
}

int MemorySystem::put(Open &open, const char *data, std::size_t size, std::int64_t offset,
                      std::size_t &done, bool now) {
  Node &node = nodes_.at(open.name);
  done = size;
  if (node.kind == FileKind::character_device) return 0; // it takes everything
  if (node.kind == FileKind::fifo) {
    // As a pipe that nobody reads, for the writes the program makes (at
    // most the atomic size): one goes whole, or waits.
    const std::size_t held = node.bytes.size();
    if (node.capacity != 0 && held + size > node.capacity) {
      done = 0;
      if (now) return EAGAIN;
      blocked_ = true;
    }
    node.bytes.append(data, done);
    return 0;
  }
  const auto at = static_cast<std::size_t>(offset);
  if (node.bytes.size() < at + size) node.bytes.resize(at + size, '\0');
  node.bytes.replace(at, size, data, size);
  return 0;
}

int MemorySystem::write(int fd, const char *data, std::size_t size, std::size_t &done) {
  return write_as(fd, data, size, done, false);
}

int MemorySystem::write_now(int fd, const char *data, std::size_t size, std::size_t &done) {
  return write_as(fd, data, size, done, true);
}

int MemorySystem::write_as(int fd, const char *data, std::size_t size, std::size_t &done,
                           bool now) {
  done = 0;
  blocked_ = false;
  const Fault *fault = fd == 2 && spare_error_stream_ ? nullptr : next_fault(Call::write);
  deliver(fault, true);
  if (fault && fault->error) return fault->error;
  Open *open = descriptor(fd);
  if (!open || !open->writes) return EBADF;
  if (fault && fault->limit != 0 && size > fault->limit) size = fault->limit;
  const int error = put(*open, data, size, open->offset, done, now);
  open->offset += static_cast<std::int64_t>(done);
  deliver(fault, false); // while it waits, if it does
  if (blocked_) throw WaitsForever{};
  return error;
}

int MemorySystem::write_at(int fd, const char *data, std::size_t size, std::int64_t offset,
                           std::size_t &done) {
  done = 0;
  const Fault *fault = next_fault(Call::write_at);
  if (fault && fault->error) return fault->error;
  Open *open = descriptor(fd);
  if (!open || !open->writes) return EBADF;
  if (nodes_.at(open->name).kind == FileKind::fifo) return ESPIPE;
  if (fault && fault->limit != 0 && size > fault->limit) size = fault->limit;
  return put(*open, data, size, offset, done, false);
}

int MemorySystem::position(int fd, std::int64_t &offset) {
  offset = -1;
  const Fault *fault = next_fault(Call::position);
  if (fault && fault->error) return fault->error;
  Open *open = descriptor(fd);
  if (!open) return EBADF;
  if (nodes_.at(open->name).kind == FileKind::fifo) return ESPIPE;
  offset = open->offset;
  return 0;
}

int MemorySystem::seek(int fd, std::int64_t offset) {
  const Fault *fault = next_fault(Call::seek);
  if (fault && fault->error) return fault->error;
  Open *open = descriptor(fd);
  if (!open) return EBADF;
  if (nodes_.at(open->name).kind == FileKind::fifo) return ESPIPE;
  if (offset < 0) return EINVAL;
  open->offset = offset;
  return 0;
}

int MemorySystem::size(int fd, std::int64_t &bytes) {
  bytes = -1;
  const Fault *fault = next_fault(Call::size);
  if (fault && fault->error) return fault->error;
  Open *open = descriptor(fd);
  if (!open) return EBADF;
  const Node &node = nodes_.at(open->name);
  bytes = node.kind == FileKind::regular ? static_cast<std::int64_t>(node.bytes.size()) : 0;
  return 0;
}

int MemorySystem::cut_back(int fd, std::int64_t length) {
  const Fault *fault = next_fault(Call::cut_back);
  if (fault && fault->error) return fault->error;
  Open *open = descriptor(fd);
  if (!open || !open->writes) return EINVAL;
  nodes_.at(open->name).bytes.resize(static_cast<std::size_t>(length));
  return 0;
}

int MemorySystem::close(int fd) {
  const Fault *fault = next_fault(Call::close);
  Open *open = descriptor(fd);
  if (!open) return EBADF;
  open->in_use = false; // closed even when the call reports a failure
  return fault && fault->error ? fault->error : 0;
}

bool MemorySystem::can_position(int fd) {
  const Open *open = descriptor(fd);
  return open && nodes_.at(open->name).kind == FileKind::regular;
}

bool MemorySystem::is_terminal(int) {
  return false;
}

void MemorySystem::end_process(int status) {
  throw Ended{false, status};
}

void MemorySystem::abort_process(bool core_dump) {
  throw Ended{true, 0, core_dump};
}

MemoryOutcome run_in_memory(MemorySystem &system) {
  Frame frame(system);
  const auto samples = std::make_unique<Samples>();
  system.set_signal_handler([&frame](int signal) { end_on_signal(frame, signal); });
  MemoryOutcome outcome;
  try {
    const std::int32_t nt = run_sequence(frame, *samples);
    frame.close_all(ClosingCause::normal);
    outcome.nt = nt;
    outcome.ended = Ended{false, 0};
  } catch (const Ended &ended) {
    outcome.ended = ended;
  }
  system.set_signal_handler(nullptr);
  outcome.out = system.out();
  outcome.err = system.err();
  return outcome;
}

} // namespace cdmg::testing
