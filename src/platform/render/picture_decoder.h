#pragma once

#include <string>

#include "platform/error.h"
#include "platform/libav_handles.h"
#include "platform/render/texel_plane.h"

namespace talmora {

// Largest side of a picture that is decoded; larger claims are refused before any pixel memory
// is taken.
inline constexpr int kMaxPictureSide = 16384;

// Decodes the first picture of an image file (PNG, JPEG, BMP, GIF, TGA, TIFF, WebP, PPM/PGM, DDS
// and whatever else the linked FFmpeg reads) into straight-alpha 0xAARRGGBB pixels at its own
// size; pictures without alpha come out opaque. Fails when the path is not a regular file, the
// data is broken or truncated, or a side exceeds kMaxPictureSide.
Expected<TexelPlane> DecodePicture(const std::string& path);

bool IsRegularFile(const std::string& path);

// Converts `source` with `scaler`, which writes BGRA at the plane's size, into `plane`.
bool ScaleToPlane(SwsContext& scaler, const AVFrame& source, TexelPlane& plane);
// The same into `height` rows `stride` bytes apart from `top`, laid out and padded as a plane's.
bool ScaleInto(SwsContext& scaler, const AVFrame& source, uint8_t* top, int stride, int height);

// The readers a file may be opened with: still pictures, or those with animated pictures and the
// usual video containers. Never a playlist, a concatenation or a network stream.
enum class Readers { kPictures, kClips };

// Opens a regular local file for one of `readers`, never through another protocol or as a
// numbered sequence; empty when it cannot be opened.
InputFormatPtr OpenLocalInput(const std::string& path, Readers readers);

// Bounds a decoder of pictures or clips: a frame with a side beyond kMaxPictureSide is refused
// before its memory is taken.
void BoundDecoder(AVCodecContext& codec);

}  // namespace talmora
