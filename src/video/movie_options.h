#pragma once

#include <cstdint>
#include <functional>
#include <istream>
#include <optional>
#include <string>

#include "platform/movie/movie_file.h"

namespace talmora {

// How the compressor is chosen: from the command line, or from the console menu when no code is
// given. Settings left empty keep the compressor's defaults.
struct MovieOptions {
  std::optional<std::string> codec;  // four-character code, e.g. "DIB " or "MJPG"
  std::optional<int32_t> quality;    // 0 to 10000
  std::optional<int32_t> keyframe;   // a key frame every N frames
  std::optional<int32_t> datarate;   // KB per second
  std::istream* input = nullptr;     // where the menu reads its answers
  const MovieContainer* container = nullptr;  // the kind of file; empty for the default

  const MovieContainer& Container() const { return container ? *container : MovieContainers().front(); }
  // Whether the output can take the compressor picked in the menu; prints why not. Unset: any.
  std::function<bool(uint32_t fourcc)> admits;
};

}  // namespace talmora
