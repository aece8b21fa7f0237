#include "script/file_path.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <optional>

namespace talmora {

std::string AbsolutePath(const std::string& path) {
  std::error_code error;
  const std::filesystem::path absolute = std::filesystem::absolute(path, error);
  if (error) return path;
  std::string text = absolute.lexically_normal().string();
  // "dir/." normalises to "dir/"; keep a trailing slash only for the root.
  if (text.size() > 1 && text.back() == '/') text.pop_back();
  return text;
}

std::optional<std::string> ReadableFilePath(const std::string& path) {
  if (path.empty()) return std::nullopt;
  // Non-blocking, so that a named pipe cannot stall the run; only regular files count.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return std::nullopt;
  struct stat info {};
  const bool regular = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
  ::close(fd);
  if (!regular) return std::nullopt;
  return AbsolutePath(path);
}

}  // namespace talmora
