// Built with AVX2 on x86-64 and called only where the processor has it. Nothing from the
// standard library is used here: an inline function instantiated in this file could be the one
// the linker keeps for every file, AVX2 instructions and all.
#include "platform/movie/yuv_rows.h"

#if defined(__AVX2__)
namespace talmora {

int LumaRowAvx2(const uint8_t* source, uint8_t* luma, int width, const YuvMatrix& m) {
  return LumaRows<Avx2>(source, luma, width, m);
}

int ChromaRowAvx2(const uint8_t* upper, const uint8_t* lower, uint8_t* cb, uint8_t* cr, int width,
                  const YuvMatrix& m) {
  return ChromaRows<Avx2>(upper, lower, cb, cr, width, m);
}

}  // namespace talmora
#endif
