#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <tuple>

#include "platform/error.h"

namespace talmora {

class Texture;

// A file by identity and version, so that two spellings of one path share what is made of it
// and a rewritten file does not; empty when the path is not a regular file.
using FileKey = std::tuple<uint64_t, uint64_t, int64_t, int64_t, int64_t>;
std::optional<FileKey> FileKeyOf(const std::string& path);

// A picture or clip not had is `explained` when it could be read but was refused: its memory
// would pass the budget, or too few files would be left to open.

// The most texture memory (every level of every live texture, and the frames of every clip
// decoder) the run may hold; a picture or clip that would pass it is refused.
inline constexpr uint64_t kTextureBudget = uint64_t{2} << 30;

// The bytes held against kTextureBudget, shared with what holds them, which may outlive the caches.
class TextureBudget {
 public:
  // Counts `bytes` in, unless they would pass the budget.
  bool Take(uint64_t bytes);
  void Give(uint64_t bytes) { in_use_ -= bytes; }
  // The refusal of `what` (say "画像 W × H のテクスチャ") taking `bytes`, for `path`.
  std::string Refusal(const std::string& what, uint64_t bytes, const std::string& path) const;

 private:
  uint64_t in_use_ = 0;
};

// Decodes each picture file once and shares its texture while anything still holds it, so that
// elements naming the same file cost its memory once.
class TextureCache {
 public:
  explicit TextureCache(std::shared_ptr<TextureBudget> budget);

  Expected<std::shared_ptr<const Texture>> Load(const std::string& path);

 private:
  std::map<FileKey, std::weak_ptr<const Texture>> entries_;
  // Shared with the textures' deleters, which may run after the cache is gone.
  std::shared_ptr<TextureBudget> budget_;
};

}  // namespace talmora
