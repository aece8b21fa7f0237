#include "platform/render/resampled_copy.h"

namespace talmora {

const TexelPlane* ResampledCopy::Get(const ResampleKey& key, const std::function<bool(TexelPlane&)>& fill) {
  if (key == key_ && block_.Valid()) return &block_;
  key_ = ResampleKey();
  if (block_.Width() != key.width || block_.Height() != key.height) {
    block_ = TexelPlane();  // the old block goes before the new one is taken
    block_ = TexelPlane(key.width, key.height);
    if (!block_.Valid()) return nullptr;
  }
  if (!fill(block_)) return nullptr;
  key_ = key;
  return &block_;
}

}  // namespace talmora
