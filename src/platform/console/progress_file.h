#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <memory>
#include <string>

#include "platform/error.h"

namespace talmora {

// Machine-readable progress for programs that drive a render: a block of key=value lines per
// frame, flushed at once, the last one ending "progress=end".
class ProgressFile {
 public:
  // "-" is standard error.
  static Expected<std::unique_ptr<ProgressFile>> Open(const std::string& path);
  ~ProgressFile();
  ProgressFile(const ProgressFile&) = delete;
  ProgressFile& operator=(const ProgressFile&) = delete;

  // `done` frames of `total` written, `seconds` of movie time covered.
  void Frame(int64_t done, int64_t total, double seconds);
  void End(int64_t done, int64_t total, double seconds);

  // Once a block could not be written (the reader went away, the disk is full), the reason;
  // nothing more is written then. 0 while every block was.
  int Error() const { return error_; }

 private:
  explicit ProgressFile(FILE* file) : file_(file) {}
  void Block(int64_t done, int64_t total, double seconds, const char* state);

  FILE* file_;
  int error_ = 0;
  std::deque<std::chrono::steady_clock::time_point> recent_;  // frame times of the last second
};

}  // namespace talmora
