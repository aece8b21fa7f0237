#pragma once

#include <optional>
#include <string>
#include <vector>

#include "video/movie_part.h"

namespace talmora {

// The folder of an absolute path: everything before its last "/", or "/" for the root folder.
std::string FolderOf(const std::string& full_path);

// The path with the extension of its last component replaced (or, without one, appended).
std::string ReplaceExtension(const std::string& path, const std::string& extension);

// What a run that renders less than the whole movie, or at another size, adds to the names of
// its files so that they never replace the whole movie's: ".part-3-of-8", ".10-20s" (".10s-end"
// without an end), ".x0.5", in that order; empty for the whole movie at its own size.
std::string PartialName(const std::optional<PartNumber>& part, std::optional<double> from, std::optional<double> to,
                        std::optional<double> scale);

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
