#include "platform/console/progress_file.h"

#include <cerrno>
#include <cstring>

namespace talmora {

std::unique_ptr<ProgressFile> ProgressFile::Open(const std::string& path, std::string& error) {
  FILE* file = path == "-" ? stderr : std::fopen(path.c_str(), "w");
  if (!file) {
    error = std::strerror(errno);
    return nullptr;
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
  double fps = 0.0;
  if (recent_.size() > 1) {
    const std::chrono::duration<double> span = recent_.back() - recent_.front();
    if (span.count() > 0) fps = static_cast<double>(recent_.size() - 1) / span.count();
  }
  std::fprintf(file_, "frame=%lld\ntotal_frames=%lld\nfps=%.2f\nout_time_s=%.6f\nprogress=%s\n",
               static_cast<long long>(done), static_cast<long long>(total), fps, seconds, state);
  std::fflush(file_);
}

}  // namespace talmora
