#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "video/movie_options.h"
#include "video/movie_part.h"

namespace talmora {

class GraphicsDevice;
class Reporter;
class Scene;

// The name every movie's stream carries.
inline constexpr std::string_view kMovieStreamTitle = "created by talmora";

// The stream a render wrote, as a part's record keeps it.
struct MadeStream {
  uint32_t fourcc = 0;
  int32_t width = 0;
  int32_t height = 0;
  std::string header;  // the compressor's private header
};

// What the movie is made from: the root tag's settings and the services that draw it.
struct MovieJob {
  int32_t width = 512;
  int32_t height = 384;
  int32_t fps = 30;
  double length = 0.0;
  uint32_t background = 0;  // 0xAARRGGBB
  GraphicsDevice* graphics = nullptr;
  const MovieOptions* options = nullptr;
  std::optional<FrameRange> frames = std::nullopt;  // all of them when empty
  ProgressReport* progress = nullptr;
  bool serial = false;  // each frame drawn and compressed in turn, as the pipeline must match
  MadeStream* made = nullptr;  // told what the stream is, once the file is open
};

// How far a render got. kNotStarted: nothing was written (no renderer, no compressor chosen, no
// file); kCutShort: a frame or the file's completion failed, the frames before it stay.
enum class MovieResult { kCompleted, kNotStarted, kCutShort };

// Renders every frame of `scene` into the movie file at `path`, and reports each step on the
// console. The maker's Make; apart so that tests can hand it objects of their own.
MovieResult RenderMovie(const MovieJob& job, const Scene& scene, const std::string& path,
                        Reporter& reporter);

}  // namespace talmora
