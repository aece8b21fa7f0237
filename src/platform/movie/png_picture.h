#pragma once

#include <string>

namespace talmora {

class Frame;

// Writes the frame as an 8-bit RGB PNG picture at `path` (the alpha channel is dropped, as a
// player shows the movie). False with `error` set on failure; no partial file is left then.
bool WritePngPicture(const Frame& frame, const std::string& path, std::string& error);

}  // namespace talmora
