#pragma once

#include <string>

namespace talmora {

class Frame;

// The frame as a baseline JPEG picture's bytes: what play sends, many a second, where a PNG
// would take longer to make and to send. False with `error` set on failure.
bool EncodeJpegPicture(const Frame& frame, std::string& bytes, std::string& error);

}  // namespace talmora
