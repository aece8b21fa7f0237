#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <tuple>

namespace talmora {

class Texture;

// The most texture memory (every level of every live texture) the run may hold; a picture that
// would pass it is refused.
inline constexpr uint64_t kTextureBudget = uint64_t{2} << 30;

// Decodes each picture file once and shares its texture while anything still holds it, so that
// elements naming the same file cost its memory once.
class TextureCache {
 public:
  TextureCache();

  // Empty when the picture cannot be had; `refusal` then says why when the budget was the cause.
  std::shared_ptr<const Texture> Load(const std::string& path, std::string& refusal);
  uint64_t BytesInUse() const { return *in_use_; }

 private:
  // The file by identity and version, so that two spellings of one path share and a rewritten
  // file does not.
  using Key = std::tuple<uint64_t, uint64_t, int64_t, int64_t, int64_t>;

  std::map<Key, std::weak_ptr<const Texture>> entries_;
  // Shared with the textures' deleters, which may run after the cache is gone.
  std::shared_ptr<uint64_t> in_use_;
};

}  // namespace talmora
