#pragma once

#include <optional>
#include <string>

#include "app/command_line.h"

namespace talmora {

class JoinedOutput;
class Reporter;
class RunOutcome;

// The files of one part of the script at `full_path`: its movie, its track and its record.
struct PartFiles {
  std::string movie;
  std::string track;
  std::string record;
};
PartFiles PartFilesOf(const std::string& full_path, PartNumber part, std::optional<double> scale);

// `--join N`: checks the N parts of the script at `full_path`, printing one line for each that is
// missing, not finished, or not of this script and these options; then, if every part passed,
// writes `movie` and `track` (when the parts have sound) exactly as a render of the whole movie
// does, and from them the `joined` file. `outcome` notes what was not written, and a part that
// recorded a failure of its own.
void JoinParts(const CommandLine& line, const std::string& full_path, const std::string& movie,
               const std::string& track, JoinedOutput* joined, Reporter& reporter, RunOutcome& outcome);

}  // namespace talmora
