#pragma once

#include <cstdint>
#include <string>

#include "platform/libav_handles.h"
#include "platform/sound/sound_system.h"

namespace talmora::sound {

// The audio stream of one sound file and its decoder, delivering decoded frames in order.
class DecodedFile {
 public:
  // Files at other rates are refused.
  static constexpr int kMinRate = kMinSoundRate;
  static constexpr int kMaxRate = kMaxSoundRate;

  // Opens the file's best audio stream and its decoder. Returns 0 or a negative AVERROR.
  int Open(const std::string& path);

  const AVCodecContext& Codec() const { return *codec_; }

  // The length in whole milliseconds when the container states it exactly (no encoder
  // delay or padding for the decoder to trim); -1 when it cannot say.
  int64_t DeclaredLengthMs() const;

  // Decodes the whole stream to count its length. Returns 0 or a negative AVERROR.
  int CountLengthMs(int64_t& length_ms);

  // The next decoded frame, owned by this object and valid until the next call.
  // Returns 0, AVERROR_EOF once the decoder is drained, or another negative AVERROR.
  int Next(AVFrame*& frame);

 private:
  InputFormatPtr format_;
  CodecContextPtr codec_;
  PacketPtr packet_;
  FramePtr frame_;
  const AVStream* stream_ = nullptr;
};

}  // namespace talmora::sound
