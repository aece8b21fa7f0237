#pragma once

#include <memory>
#include <string>

#include "platform/error.h"
#include "platform/render/frame.h"
#include "platform/render/texture_cache.h"

namespace talmora {

class Texture;

// The software renderer's device: makes render targets and loads pictures into textures.
class GraphicsDevice {
 public:
  std::unique_ptr<Frame> CreateRenderTarget(int width, int height) { return Frame::Create(width, height); }
  // Fails when the picture cannot be read, is broken, is larger than the renderer accepts, or
  // would pass the texture memory budget. Elements naming the same file share one texture.
  Expected<std::shared_ptr<const Texture>, TextureFailure> LoadTexture(const std::string& path) {
    return textures_.Load(path);
  }

 private:
  TextureCache textures_;
};

}  // namespace talmora
