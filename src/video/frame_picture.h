#pragma once

#include <memory>
#include <string>

#include "video/movie_render.h"

namespace talmora {

class Frame;
class RenderState;

// Renders the one frame `job.frames` names, as a full render draws it, into a PNG picture at
// `path`; only the objects showing in it are loaded. False after printing why not.
bool RenderPicture(const MovieJob& job, const Scene& scene, const std::string& path, Reporter& reporter);

// The drawing of RenderPicture without the file: the frame `job.frames` names, with `state`
// keeping what its objects loaded for the next call. Empty after printing why not.
std::unique_ptr<Frame> DrawPicture(const MovieJob& job, const Scene& scene, RenderState& state, Reporter& reporter);

}  // namespace talmora
