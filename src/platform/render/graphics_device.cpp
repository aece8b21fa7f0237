#include "platform/render/graphics_device.h"

#include "platform/render/picture_decoder.h"
#include "platform/render/texture.h"

namespace talmora {

std::unique_ptr<Texture> GraphicsDevice::LoadTexture(const std::string& path) {
  return Texture::FromStraightAlpha(DecodePicture(path));
}

}  // namespace talmora
