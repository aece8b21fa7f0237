#pragma once

#include <string>
#include <vector>

namespace talmora {

// The folder of an absolute path: everything before its last "/", or "/" for the root folder.
std::string FolderOf(const std::string& full_path);

// The path with the extension of its last component replaced (or, without one, appended).
std::string ReplaceExtension(const std::string& path, const std::string& extension);

// Whether two paths name one file: the same device and inode where both exist, else the same
// path once the links of their folders are resolved.
bool SameFile(const std::string& a, const std::string& b);

// A file the run writes, with what the user knows it as ("動画", "--output", ...).
struct OutputFile {
  std::string what;
  std::string path;
};

// The line that refuses a run one of whose `outputs` is the script or an earlier output, naming
// both (writing one would destroy the other); empty when each is a file of its own.
std::string SameFileRefusal(const std::string& script, const std::vector<OutputFile>& outputs);

}  // namespace talmora
