#include "platform/render/texture_cache.h"

#include <sys/stat.h>

#include "platform/render/picture_decoder.h"
#include "platform/render/texture.h"

namespace talmora {
namespace {

constexpr uint64_t kMiB = uint64_t{1} << 20;

uint64_t LevelBytes(int width, int height) { return uint64_t{4} * static_cast<uint64_t>(width) * static_cast<uint64_t>(height); }

std::string MiB(uint64_t bytes) { return std::to_string((bytes + kMiB - 1) / kMiB) + " MiB"; }

}  // namespace

TextureCache::TextureCache() : in_use_(std::make_shared<uint64_t>(0)) {}

Expected<std::shared_ptr<const Texture>, TextureFailure> TextureCache::Load(const std::string& path) {
  struct stat status {};
  const bool known = ::stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode);
  const Key key{status.st_dev, status.st_ino, status.st_size, status.st_mtim.tv_sec, status.st_mtim.tv_nsec};
  if (known) {
    auto found = entries_.find(key);
    if (found != entries_.end()) {
      if (auto shared = found->second.lock()) return shared;
      entries_.erase(found);
    }
  }
  Expected<TexelPlane> decoded = DecodePicture(path);
  if (!decoded) return TextureFailure{decoded.error().what};
  TexelPlane& pixels = *decoded;
  // Counted with every level it may come to have: they add at most a third, and a texel per
  // level for rounding.
  const uint64_t base = LevelBytes(pixels.Width(), pixels.Height());
  const uint64_t estimate = base + base / 3 + 4 * 64;
  if (estimate > kTextureBudget - *in_use_) {
    return TextureFailure{"エラー : 画像 " + std::to_string(pixels.Width()) + " × " + std::to_string(pixels.Height()) +
                              " のテクスチャ (" + MiB(estimate) + ") はテクスチャメモリの上限 " + MiB(kTextureBudget) +
                              " を超えます (使用中 " + MiB(*in_use_) + ") - " + path,
                          true};
  }
  std::unique_ptr<Texture> made = Texture::FromStraightAlpha(std::move(pixels));
  if (!made) return TextureFailure{"テクスチャのメモリが足りません"};
  const uint64_t bytes = estimate;
  *in_use_ += bytes;
  std::shared_ptr<const Texture> texture(made.release(), [in_use = in_use_, bytes](const Texture* gone) {
    *in_use -= bytes;
    delete gone;
  });
  if (known) entries_[key] = texture;
  return texture;
}

}  // namespace talmora
