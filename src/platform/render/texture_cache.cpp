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

std::optional<FileKey> FileKeyOf(const std::string& path) {
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) return std::nullopt;
  return FileKey{status.st_dev, status.st_ino, status.st_size, status.st_mtim.tv_sec, status.st_mtim.tv_nsec};
}

bool TextureBudget::Take(uint64_t bytes) {
  if (bytes > kTextureBudget - in_use_) return false;
  in_use_ += bytes;
  return true;
}

std::string TextureBudget::Refusal(const std::string& what, uint64_t bytes, const std::string& path) const {
  return "エラー : " + what + " (" + MiB(bytes) + ") はテクスチャメモリの上限 " + MiB(kTextureBudget) + " を超えます (使用中 " +
         MiB(in_use_) + ") - " + path;
}

TextureCache::TextureCache(std::shared_ptr<TextureBudget> budget) : budget_(std::move(budget)) {}

Expected<std::shared_ptr<const Texture>> TextureCache::Load(const std::string& path) {
  const std::optional<FileKey> key = FileKeyOf(path);
  if (key) {
    auto found = entries_.find(*key);
    if (found != entries_.end()) {
      if (auto shared = found->second.lock()) return shared;
      entries_.erase(found);
    }
  }
  Expected<TexelPlane> decoded = DecodePicture(path);
  if (!decoded) return Error{decoded.error().what};
  TexelPlane& pixels = *decoded;
  // Counted with every level it may come to have: they add at most a third, and a texel per
  // level for rounding.
  const uint64_t base = LevelBytes(pixels.Width(), pixels.Height());
  const uint64_t estimate = base + base / 3 + 4 * 64;
  const std::string what = "画像 " + std::to_string(pixels.Width()) + " × " + std::to_string(pixels.Height()) + " のテクスチャ";
  if (!budget_->Take(estimate)) return Error{budget_->Refusal(what, estimate, path), true};
  std::unique_ptr<Texture> made = Texture::FromStraightAlpha(std::move(pixels));
  if (!made) {
    budget_->Give(estimate);
    return Error{"テクスチャのメモリが足りません"};
  }
  std::shared_ptr<const Texture> texture(made.release(), [budget = budget_, estimate](const Texture* gone) {
    budget->Give(estimate);
    delete gone;
  });
  if (key) entries_[*key] = texture;
  return texture;
}

}  // namespace talmora
