#pragma once

#include <memory>
#include <string>

#include "platform/render/frame.h"
#include "platform/render/texture_cache.h"

namespace talmora {

class Texture;

// The software renderer's device: makes render targets and loads pictures into textures.
class GraphicsDevice {
 public:
  std::unique_ptr<Frame> CreateRenderTarget(int width, int height) { return Frame::Create(width, height); }
  // Empty when the picture cannot be read, is broken, or is larger than the renderer accepts;
  // `refusal` is then a line saying why when the texture memory budget was the cause. Elements
  // naming the same file share one texture.
  std::shared_ptr<const Texture> LoadTexture(const std::string& path, std::string& refusal);

 private:
  TextureCache textures_;
};

}  // namespace talmora
