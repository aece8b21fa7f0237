#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/error.h"

namespace talmora {

class Texture;

// Whether a file is a moving picture (a video, or an animated GIF or PNG of more than one frame)
// and how many seconds it plays: from its first frame to the end of its last. Empty for a still
// picture and for whatever does not open as a moving picture, which the still path then judges.
// Reads no pixels, and a file once however many elements name it.
std::optional<double> ProbeClip(const std::string& path);

// A moving picture decoded as a stream, in order, as it is asked for later and later times: one
// decoder and one decoded frame ahead are kept, whatever the clip's length, and it seeks only
// when asked for a time before the frame shown or far beyond it. Its file stays open while it
// lives.
class ClipDecoder {
 public:
  // Told the clip's size and the bytes its decoded frames take, before any is decoded; false
  // refuses the clip.
  using Admission = std::function<bool(int width, int height, uint64_t frame_bytes)>;

  // Opens the file and decodes its first frame. Fails when it has no video stream, a side exceeds
  // the renderer's limit, `admit` refuses it (with an empty reason), or no frame decodes.
  static Expected<std::unique_ptr<ClipDecoder>> Open(const std::string& path, const Admission& admit = nullptr);
  ~ClipDecoder();

  // The texture showing the last frame whose time is not after `seconds` (counted from the first
  // frame): the first frame before it, the last one after the end. A frame that fails to decode
  // leaves the frame before it shown. A frame to be drawn at half its size or less on both axes
  // (`shrink`, source pixels per drawn pixel, along each axis) is converted straight to the
  // halved size a still picture would draw from, skipping the full-size texture. Null when the
  // texture's memory cannot be had. Elements sharing the decoder ask in turn, each drawing what
  // it is given before the next asks.
  const Texture* FrameAt(double seconds, double shrink_x, double shrink_y);
  // The size of the source's frames (of the one shown last).
  int Width() const;
  int Height() const;
  // The most the texture of a clip of `width` × `height` takes, its levels counted, when drawn
  // at most `across` × `down` pixels.
  static uint64_t TextureBytes(int width, int height, double across, double down);

 private:
  struct Stream;
  explicit ClipDecoder(std::unique_ptr<Stream> stream);

  std::unique_ptr<Stream> stream_;
};

}  // namespace talmora
