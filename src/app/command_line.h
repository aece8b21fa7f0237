#pragma once

#include <string>
#include <vector>

#include "video/movie_options.h"

namespace talmora {

struct CommandLine {
  std::vector<std::string> scripts;  // the positional arguments; exactly one is a valid run
  MovieOptions movie;
  bool list_codecs = false;
  std::string error;  // a malformed option, with its message already composed
};

CommandLine ParseCommandLine(int argc, const char* const* argv);

}  // namespace talmora
