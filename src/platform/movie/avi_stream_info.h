#pragma once

#include <cstdint>
#include <string>

#include "platform/movie/fourcc.h"

namespace talmora {

// The stream header fields a movie sets. The others are fixed (type "vids", scale 1, quality -1)
// or counted by the writer (the length: the frames written).
struct AviStreamInfo {
  uint32_t fccHandler = MakeFourcc("DIB ");
  int32_t dwRate = 30;  // frames per second; a rate below 1 is written as 0
  int32_t width = 0;    // rcFrame is (0, 0, width, height)
  int32_t height = 0;
  std::string szName;
};

}  // namespace talmora
