#pragma once

#include <optional>
#include <string>

namespace talmora {

// The absolute, normalised form of `path` against the current directory (no link resolution).
std::string AbsolutePath(const std::string& path);

// The absolute path of `path` when it names a regular file that opens for reading; empty
// otherwise (a folder, a pipe, a device).
std::optional<std::string> ReadableFilePath(const std::string& path);

}  // namespace talmora
