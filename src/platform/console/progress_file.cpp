#include "platform/console/progress_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace talmora {

Expected<std::unique_ptr<ProgressFile>> ProgressFile::Open(const std::string& path) {
  if (path == "-") return std::unique_ptr<ProgressFile>(new ProgressFile(stderr));
  // A pipe nobody reads yet is refused at once rather than waited on; one with a reader is
  // then written as any file, waiting for the reader when it falls behind.
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NONBLOCK | O_CLOEXEC, 0666);
  const int flags = fd < 0 ? -1 : ::fcntl(fd, F_GETFL);
  FILE* file = flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0 ? nullptr : ::fdopen(fd, "w");
  if (!file) {
    talmora::Error error{std::strerror(errno)};
    if (fd >= 0) ::close(fd);
    return error;
  }
  return std::unique_ptr<ProgressFile>(new ProgressFile(file));
}

ProgressFile::~ProgressFile() {
  if (file_ != stderr) std::fclose(file_);
}

void ProgressFile::Frame(int64_t done, int64_t total, double seconds) {
  // The rate over the last second, as a driver wants it, not the average since the start.
  const auto now = std::chrono::steady_clock::now();
  recent_.push_back(now);
  while (now - recent_.front() > std::chrono::seconds(1)) recent_.pop_front();
  Block(done, total, seconds, "continue");
}

void ProgressFile::End(int64_t done, int64_t total, double seconds) { Block(done, total, seconds, "end"); }

void ProgressFile::Block(int64_t done, int64_t total, double seconds, const char* state) {
  if (error_ != 0) return;
  double fps = 0.0;
  if (recent_.size() > 1) {
    const std::chrono::duration<double> span = recent_.back() - recent_.front();
    if (span.count() > 0) fps = static_cast<double>(recent_.size() - 1) / span.count();
  }
  errno = 0;
  const int written = std::fprintf(file_, "frame=%lld\ntotal_frames=%lld\nfps=%.2f\nout_time_s=%.6f\nprogress=%s\n",
                                   static_cast<long long>(done), static_cast<long long>(total), fps, seconds, state);
  if (std::fflush(file_) != 0 || written < 0 || std::ferror(file_)) error_ = errno != 0 ? errno : EIO;
}

}  // namespace talmora
