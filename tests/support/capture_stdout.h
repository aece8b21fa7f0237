#pragma once

// Collects what the code under test prints to standard output.

#include <unistd.h>

#include <cstdio>
#include <string>

namespace talmora::testing {

class CaptureStdout {
 public:
  CaptureStdout() {
    std::fflush(stdout);
    file_ = std::tmpfile();
    saved_ = ::dup(1);
    ::dup2(::fileno(file_), 1);
  }
  ~CaptureStdout() { Text(); }
  CaptureStdout(const CaptureStdout&) = delete;
  CaptureStdout& operator=(const CaptureStdout&) = delete;

  // Ends the capture (once) and returns everything printed since it began.
  const std::string& Text() {
    if (saved_ >= 0) {
      std::fflush(stdout);
      ::dup2(saved_, 1);
      ::close(saved_);
      saved_ = -1;
      std::rewind(file_);
      char buffer[4096];
      for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, file_)) > 0;) text_.append(buffer, n);
      std::fclose(file_);
    }
    return text_;
  }

 private:
  std::FILE* file_ = nullptr;
  int saved_ = -1;
  std::string text_;
};

}  // namespace talmora::testing
