#include "platform/render/graphics_device.h"

namespace talmora {

std::shared_ptr<const Texture> GraphicsDevice::LoadTexture(const std::string& path, std::string& refusal) {
  return textures_.Load(path, refusal);
}

}  // namespace talmora
