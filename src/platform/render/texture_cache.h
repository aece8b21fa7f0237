#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <tuple>

#include "platform/error.h"

namespace talmora {

class Texture;

// Why a picture was not had. `over_budget`: it decoded, but its texture would pass the budget;
// `what` then is a line for the user.
struct TextureFailure {
  std::string what;
  bool over_budget = false;
};

// The most texture memory (every level of every live texture) the run may hold; a picture that
// would pass it is refused.
inline constexpr uint64_t kTextureBudget = uint64_t{2} << 30;

// Decodes each picture file once and shares its texture while anything still holds it, so that
// elements naming the same file cost its memory once.
class TextureCache {
 public:
  TextureCache();

  Expected<std::shared_ptr<const Texture>, TextureFailure> Load(const std::string& path);
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
