#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "video/movie_options.h"

namespace talmora {

class Device;
class VideoObject;

// What the movie is made from: the root tag's settings and the services that draw it.
struct MovieJob {
  int32_t width = 512;
  int32_t height = 384;
  int32_t fps = 30;
  double length = 0.0;
  uint32_t background = 0;  // 0xAARRGGBB
  Device* device = nullptr;
  const MovieOptions* options = nullptr;
};

// Renders every frame into the AVI file at `path`, taking the objects off the end of `pending`
// as their time comes, and reports each step on the console. The maker's Make; apart so that
// tests can hand it objects of their own. True once the whole movie is written.
bool RenderMovie(const MovieJob& job, std::vector<std::shared_ptr<VideoObject>>& pending, const std::string& path);

}  // namespace talmora
