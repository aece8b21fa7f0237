#pragma once

#include <string>

namespace talmora {

class Frame;

// Writes the frame as an 8-bit RGB PNG picture at `path` (the alpha channel is dropped, as a
// player shows the movie), replacing the file there only once it is complete. False with `error`
// set on failure; the file there before stays and no partial file is left then.
bool WritePngPicture(const Frame& frame, const std::string& path, std::string& error);
// The same picture's bytes, for a caller that sends them rather than keeps them.
bool EncodePngPicture(const Frame& frame, std::string& bytes, std::string& error);

}  // namespace talmora
