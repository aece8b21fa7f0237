#pragma once

#include <cstdint>
#include <memory>

#include "platform/render/frame.h"
#include "platform/render/texel_plane.h"
#include "platform/render/texture.h"

namespace talmora {

// A texture from a function giving each texel as straight-alpha 0xAARRGGBB.
template <typename Texel>
std::unique_ptr<Texture> MakeTexture(int width, int height, Texel texel) {
  TexelPlane plane(width, height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) plane.Row(y)[x] = texel(x, y);
  }
  return Texture::FromStraightAlpha(std::move(plane));
}

inline std::unique_ptr<Texture> SolidTexture(int width, int height, uint32_t argb) {
  return MakeTexture(width, height, [argb](int, int) { return argb; });
}

inline std::unique_ptr<Frame> FilledFrame(int width, int height, uint32_t argb) {
  auto frame = Frame::Create(width, height);
  frame->Clear(argb);
  return frame;
}

// Channel 0 is blue, 1 green, 2 red, 3 alpha.
inline int ChannelOf(uint32_t argb, int channel) { return static_cast<int>((argb >> (8 * channel)) & 0xFF); }

// The largest difference of any channel.
inline int Distance(uint32_t a, uint32_t b) {
  int most = 0;
  for (int c = 0; c < 4; ++c) {
    const int d = ChannelOf(a, c) - ChannelOf(b, c);
    most = d > most ? d : (-d > most ? -d : most);
  }
  return most;
}

}  // namespace talmora
