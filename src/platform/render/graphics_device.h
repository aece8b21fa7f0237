#pragma once

#include <memory>
#include <string>

#include "platform/error.h"
#include "platform/render/frame.h"

namespace talmora {

class Texture;

// The software renderer's device: makes render targets and loads pictures into textures.
class GraphicsDevice {
 public:
  std::unique_ptr<Frame> CreateRenderTarget(int width, int height) { return Frame::Create(width, height); }
  // Fails when the picture cannot be read, is broken, or is larger than the renderer accepts.
  Expected<std::unique_ptr<Texture>> LoadTexture(const std::string& path);
};

}  // namespace talmora
