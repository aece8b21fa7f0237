#pragma once

#include <optional>
#include <string>

namespace talmora {

// The absolute, normalised form of `path` against the current directory (no link resolution).
std::string AbsolutePath(const std::string& path);

// The absolute path of `path` when it names a file that opens for reading; empty otherwise
// (also for a folder).
std::optional<std::string> ReadableFilePath(const std::string& path);

}  // namespace talmora
