#include "platform/render/blend_row.h"

namespace talmora {
namespace {

#if defined(__x86_64__)
// Built for AVX2 here and called only where the processor has it; the steps are inlined, so no
// AVX2 code is left in a function another file could share.
template <BlendMode kMode, bool kReverse, bool kPremultiplied>
__attribute__((target("avx2"))) void WideRow(uint32_t* dst, const uint32_t* src, int count, const Tint& tint) {
  BlendRowSteps<kMode, kReverse, kPremultiplied, 8, true>(dst, src, count, tint);
}

template <BlendMode kMode>
BlendRowFunction WideRowOf(bool reverse, bool premultiplied) {
  if (reverse) return premultiplied ? WideRow<kMode, true, true> : WideRow<kMode, true, false>;
  return premultiplied ? WideRow<kMode, false, true> : WideRow<kMode, false, false>;
}
#endif

}  // namespace

BlendRowFunction WideBlendRow(BlendMode mode, bool reverse, bool premultiplied) {
#if defined(__x86_64__)
  __builtin_cpu_init();
  if (!__builtin_cpu_supports("avx2")) return nullptr;
  switch (mode) {
    case BlendMode::kCopy:
      return WideRowOf<BlendMode::kCopy>(reverse, premultiplied);
    case BlendMode::kOver:
      return WideRowOf<BlendMode::kOver>(reverse, premultiplied);
    case BlendMode::kTinted:
      return WideRowOf<BlendMode::kTinted>(reverse, premultiplied);
  }
#endif
  (void)mode, (void)reverse, (void)premultiplied;
  return nullptr;
}

}  // namespace talmora
