#include "app/output_paths.h"

namespace talmora {

std::string FolderOf(const std::string& full_path) {
  const size_t slash = full_path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return full_path.substr(0, slash);
}

std::string ReplaceExtension(const std::string& path, const std::string& extension) {
  const size_t slash = path.rfind('/');
  const size_t name = slash == std::string::npos ? 0 : slash + 1;
  const size_t dot = path.rfind('.');
  // A dot in a folder name, or one that only starts a hidden name, is no extension.
  if (dot == std::string::npos || dot <= name) return path + extension;
  return path.substr(0, dot) + extension;
}

}  // namespace talmora
