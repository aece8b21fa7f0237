#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "platform/movie/compressor_settings.h"

extern "C" {
#include <libavutil/pixfmt.h>
}

struct AVCodecContext;

namespace talmora {

// Which of the three settings a compressor honours (bit flags).
enum CompressorSetting : unsigned {
  kQualitySetting = 1,
  kKeyFrameSetting = 2,
  kDataRateSetting = 4,
};

// One compressor the program can offer: a libavcodec encoder behind a four-character code.
struct CompressorInfo {
  uint32_t fourcc;
  std::string_view name;
  const char* encoder;        // libavcodec encoder name; null for uncompressed frames
  AVPixelFormat pixel_format; // what the encoder is fed
  unsigned settings;          // CompressorSetting bits
  bool even_sides;            // refuses frames with an odd width or height
  // Maps the settings onto the encoder's options, before it is opened.
  void (*configure)(AVCodecContext& context, const CompressorSettings& settings);
};

// How many frames apart the key frames of a stream made from frame 0 fall, such that a stream
// started afresh at any of them continues packet for packet as the whole one: 1 where every
// frame stands alone, and where no restart can match the whole stream anyway (x264 and MPEG-4
// place key frames where the picture changes).
int32_t ExactRestartSpacing(const CompressorInfo& info, const CompressorSettings& settings);

// Whether the compressor codes frames as changes from the ones before (H.264, MPEG-4): then a
// picture that changes all over, as in a fade, costs it more than one that stays or moves.
bool PredictsFrames(const CompressorInfo& info);

// Every compressor known, uncompressed frames ("DIB ") first.
std::span<const CompressorInfo> AllCompressors();

// Those whose encoder the linked libavcodec has.
std::vector<const CompressorInfo*> PresentCompressors();

const CompressorInfo* FindCompressor(uint32_t fourcc);

// A code as a user types it: case does not matter and a short code is padded with spaces
// ("dib" finds "DIB "). Null when no compressor has it.
const CompressorInfo* LookUpCompressor(std::string_view code);

}  // namespace talmora
