#pragma once

#include <string>

namespace talmora {

// The folder of an absolute path: everything before its last "/", or "/" for the root folder.
std::string FolderOf(const std::string& full_path);

// The path with the extension of its last component replaced (or, without one, appended).
std::string ReplaceExtension(const std::string& path, const std::string& extension);

}  // namespace talmora
