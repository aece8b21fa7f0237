#pragma once

#include <algorithm>
#include <cmath>

#include "platform/render/texture.h"

namespace talmora {

// Which level to sample for a picture shrunk by these factors (texels per pixel along each of
// its axes): the finest one that is still shrunk on neither axis by two or more, but never so
// fine that one pixel averages more than 16 texels along an axis.
inline int ChooseLevel(const Texture& texture, double shrink_x, double shrink_y) {
  const double least = std::min(shrink_x, shrink_y);
  const double most = std::max(shrink_x, shrink_y);
  int level = least >= 2 ? static_cast<int>(std::floor(std::log2(std::min(least, 1e9)))) : 0;
  if (most > 16) level = std::max(level, static_cast<int>(std::ceil(std::log2(std::min(most, 1e9) / 16))));
  return std::min(level, texture.LevelCount() - 1);
}

}  // namespace talmora
