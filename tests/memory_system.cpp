#include "memory_system.h"

#include <cerrno>
#include <cstring>
#include <memory>

#include "frame.h"
#include "run.h"
#include "signals.h"

namespace cdmg::testing {

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

const Fault *MemorySystem::next_fault(Call call) {
  const int nth = ++counts_[static_cast<int>(call)];
  for (const Fault &fault : faults_) {
    if (fault.call == call && fault.nth == nth) return &fault;
  }
  return nullptr;
}

int MemorySystem::planned_error(Call call) {
  const Fault *fault = next_fault(call);
  return fault ? fault->error : 0;
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

bool MemorySystem::is_a(int fd, FileKind kind) {
  const Open *open = descriptor(fd);
  return open && node_of(*open).kind == kind;
}

int MemorySystem::examine(const char *name, FileKind &kind) {
  kind = FileKind::missing;
  if (const int error = planned_error(Call::examine)) return error;
  return MemoryFolder::examine(name, kind);
}

int MemorySystem::open(const char *name, OpenMode mode, OpenedFile &file) {
  file = {};
  const Fault *fault = next_fault(Call::open);
  deliver(fault, true);
  if (fault && fault->error) return fault->error;
  const int error = MemoryFolder::open(name, mode, file);
  if (error == 0) deliver(fault, false);
  return error;
}

int MemorySystem::read(int fd, char *data, std::size_t size, std::size_t &done) {
  done = 0;
  const Fault *fault = next_fault(Call::read);
  deliver(fault, true);
  if (fault && fault->error) return fault->error;
  Open *open = descriptor(fd);
  if (!open || !open->reads) return EBADF;
  if (read_chunk_ != 0 && size > read_chunk_) size = read_chunk_;
  if (fault && fault->limit != 0 && size > fault->limit) size = fault->limit;
  Node &node = node_of(*open);
  if (node.kind == FileKind::fifo) {
    // A FIFO hands each byte over once; with no writer left but the reader
    // itself, its end never comes.
    if (node.bytes.empty() && open->writes) throw WaitsForever{};
    done = size < node.bytes.size() ? size : node.bytes.size();
    std::memcpy(data, node.bytes.data(), done);
    node.bytes.erase(0, done);
  } else {
    static_cast<void>(MemoryFolder::read(fd, data, size, done));
  }
  deliver(fault, false);
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
  const Fault *fault = fd == 2 && spare_error_stream_ ? nullptr : next_fault(Call::write);
  deliver(fault, true);
  if (fault && fault->error) return fault->error;
  Open *open = descriptor(fd);
  if (!open || !open->writes) return EBADF;
  if (fault && fault->limit != 0 && size > fault->limit) size = fault->limit;
  Node &node = node_of(*open);
  bool blocked = false;
  int error = 0;
  if (node.kind == FileKind::character_device) {
    done = size; // it takes everything
  } else if (node.kind == FileKind::fifo) {
    // As a pipe that nobody reads, for the writes the program makes (at
    // most the atomic size): one goes whole, or waits.
    if (node.capacity != 0 && node.bytes.size() + size > node.capacity) {
      if (now) return EAGAIN;
      blocked = true;
    } else {
      node.bytes.append(data, size);
      done = size;
    }
  } else {
    error = MemoryFolder::write(fd, data, size, done);
  }
  deliver(fault, false); // while it waits, if it does
  if (blocked) throw WaitsForever{};
  return error;
}

int MemorySystem::write_at(int fd, const char *data, std::size_t size, std::int64_t offset,
                           std::size_t &done) {
  done = 0;
  const Fault *fault = next_fault(Call::write_at);
  if (fault && fault->error) return fault->error;
  if (is_a(fd, FileKind::fifo)) return ESPIPE;
  if (fault && fault->limit != 0 && size > fault->limit) size = fault->limit;
  return MemoryFolder::write_at(fd, data, size, offset, done);
}

int MemorySystem::position(int fd, std::int64_t &offset) {
  offset = -1;
  if (const int error = planned_error(Call::position)) return error;
  if (is_a(fd, FileKind::fifo)) return ESPIPE;
  return MemoryFolder::position(fd, offset);
}

int MemorySystem::seek(int fd, std::int64_t offset) {
  if (const int error = planned_error(Call::seek)) return error;
  if (is_a(fd, FileKind::fifo)) return ESPIPE;
  return MemoryFolder::seek(fd, offset);
}

int MemorySystem::size(int fd, std::int64_t &bytes) {
  bytes = -1;
  if (const int error = planned_error(Call::size)) return error;
  return MemoryFolder::size(fd, bytes);
}

int MemorySystem::cut_back(int fd, std::int64_t length) {
  if (const int error = planned_error(Call::cut_back)) return error;
  return MemoryFolder::cut_back(fd, length);
}

int MemorySystem::close(int fd) {
  const int planned = planned_error(Call::close);
  const int error = MemoryFolder::close(fd); // closed even when the call reports a failure
  return error != 0 ? error : planned;
}

MemoryOutcome run_in_memory(MemorySystem &system) {
  const auto samples = std::make_unique<Samples>();
  const MemoryOutcome outcome = run_in_folder(system, *samples, [&system](Frame &frame) {
    system.set_signal_handler([&frame](int signal) { end_on_signal(frame, signal); });
  });
  system.set_signal_handler(nullptr);
  return outcome;
}

} // namespace cdmg::testing
