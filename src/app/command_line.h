#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "video/movie_options.h"
#include "video/movie_part.h"

namespace talmora {

struct CommandLine {
  std::vector<std::string> scripts;  // the positional arguments; exactly one is a valid run
  MovieOptions movie;
  bool list_codecs = false;
  bool help = false;
  bool version = false;
  bool check = false;                  // read the script and report its problems; render nothing
  std::optional<std::string> output;   // one file with picture and sound (or the --frame picture)
  std::optional<double> frame;         // render only the frame shown at this time, as a picture
  std::optional<double> from;          // render only the frames and samples in [from, to)
  std::optional<double> to;
  std::optional<double> scale;         // 0 < scale <= 4
  std::optional<std::string> progress; // key=value progress lines; "-" is standard error
  std::optional<PartNumber> part;      // render only the K-th of N parts; K 0 until the job engine gives it
  std::optional<int32_t> join;         // join the N parts into the whole movie
  bool serve = false;                  // a preview page on the loopback address; nothing written
  std::optional<int32_t> port;         // its port; 0 lets the system choose
  std::string error;  // a malformed option, with its message already composed
};

CommandLine ParseCommandLine(int argc, const char* const* argv);

// `--part auto/N`: K from the job engine's index variable, read through `environment`
// (getenv's shape). Empty once K is set, else the line that says why not.
std::string TakePartFromEnvironment(CommandLine& line, const std::function<const char*(const char*)>& environment);

// Every option with its meaning, one per line, as `--help` prints it.
std::string UsageText();

}  // namespace talmora
