#pragma once

#include <memory>
#include <string>

#include "platform/error.h"
#include "platform/render/clip_cache.h"
#include "platform/render/frame.h"
#include "platform/render/texture_cache.h"

namespace talmora {

class Texture;

// The software renderer's device: makes render targets, loads pictures into textures and opens
// clips, all of whose memory counts against one budget.
class GraphicsDevice {
 public:
  std::unique_ptr<Frame> CreateRenderTarget(int width, int height) { return Frame::Create(width, height); }
  // Fails when the picture cannot be read, is broken, is larger than the renderer accepts, or
  // would pass the texture memory budget. Elements naming the same file share one texture.
  Expected<std::shared_ptr<const Texture>> LoadTexture(const std::string& path) {
    return textures_.Load(path);
  }
  // See ClipCache::Open.
  Expected<std::shared_ptr<ClipDecoder>> OpenClip(const std::string& path, const ClipTiming& timing,
                                                                  double across, double down) {
    return clips_.Open(path, timing, across, down);
  }

 private:
  std::shared_ptr<TextureBudget> budget_ = std::make_shared<TextureBudget>();
  TextureCache textures_{budget_};
  ClipCache clips_{budget_};
};

}  // namespace talmora
