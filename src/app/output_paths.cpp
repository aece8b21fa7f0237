#include "app/output_paths.h"

#include <limits.h>
#include <sys/stat.h>

#include <cstdlib>

#include "script/file_path.h"
#include "script/number_text.h"

namespace talmora {
namespace {

// Where a file that does not exist yet would be made: its folder with links resolved.
std::string ResolvedPath(const std::string& path) {
  const std::string absolute = AbsolutePath(path);
  const size_t slash = absolute.rfind('/');
  char folder[PATH_MAX];
  if (!::realpath(FolderOf(absolute).c_str(), folder)) return absolute;
  const std::string resolved = folder;
  return (resolved == "/" ? "" : resolved) + absolute.substr(slash);
}

}  // namespace

std::string PartialName(const std::optional<PartNumber>& part, std::optional<double> from, std::optional<double> to,
                        std::optional<double> scale) {
  std::string name;
  if (part) name += ".part-" + std::to_string(part->index) + "-of-" + std::to_string(part->count);
  if (from || to) name += "." + Shortest(from.value_or(0.0)) + (to ? "-" + Shortest(*to) + "s" : "s-end");
  if (scale) name += ".x" + Shortest(*scale);
  return name;
}

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

bool SameFile(const std::string& a, const std::string& b) {
  struct stat first {}, second {};
  const bool a_exists = ::stat(a.c_str(), &first) == 0;
  const bool b_exists = ::stat(b.c_str(), &second) == 0;
  if (a_exists && b_exists) return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
  return !a_exists && !b_exists && ResolvedPath(a) == ResolvedPath(b);
}

std::string SameFileRefusal(const std::string& script, const std::vector<OutputFile>& outputs) {
  const auto refusal = [](const OutputFile& output, const std::string& other) {
    return "エラー : " + output.what + "の出力先 " + output.path + " は" + (other.starts_with('-') ? " " : "") + other +
           " と同じファイルです";
  };
  for (size_t i = 0; i < outputs.size(); ++i) {
    if (SameFile(outputs[i].path, script)) return refusal(outputs[i], "スクリプト " + script);
    for (size_t j = 0; j < i; ++j) {
      if (SameFile(outputs[i].path, outputs[j].path)) {
        return refusal(outputs[i], outputs[j].what + "の出力先 " + outputs[j].path);
      }
    }
  }
  return {};
}

}  // namespace talmora
