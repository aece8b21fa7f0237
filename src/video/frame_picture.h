#pragma once

#include <string>

#include "video/movie_render.h"

namespace talmora {

// Renders the one frame `job.frames` names, as a full render draws it, into a PNG picture at
// `path`; only the objects showing in it are loaded. False after printing why not.
bool RenderPicture(const MovieJob& job, const Scene& scene, const std::string& path, Reporter& reporter);

}  // namespace talmora
