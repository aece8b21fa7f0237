#pragma once

#include <cstdint>

#include "platform/movie/fourcc.h"

namespace talmora {

// The compressor the user chose and its three settings, in the compressor dialog's terms.
struct CompressorSettings {
  static constexpr int32_t kMaxQuality = 10000;

  uint32_t fourcc = MakeFourcc("DIB ");
  int32_t quality = -1;   // 0 (smallest) to 10000 (best); -1 the compressor's default
  int32_t keyframe = 0;   // a key frame at least every `keyframe` frames; 0 leaves it to the compressor
  int32_t data_rate = 0;  // kilobytes per second; 0 is no limit
};

}  // namespace talmora
