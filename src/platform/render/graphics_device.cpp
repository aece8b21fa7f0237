#include "platform/render/graphics_device.h"

#include "platform/render/picture_decoder.h"
#include "platform/render/texture.h"

namespace talmora {

Expected<std::unique_ptr<Texture>> GraphicsDevice::LoadTexture(const std::string& path) {
  Expected<TexelPlane> pixels = DecodePicture(path);
  if (!pixels) return pixels.error();
  std::unique_ptr<Texture> texture = Texture::FromStraightAlpha(std::move(*pixels));
  if (!texture) return Error{"テクスチャのメモリが足りません"};
  return texture;
}

}  // namespace talmora
