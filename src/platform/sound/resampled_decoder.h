#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/sound/av_handles.h"
#include "platform/sound/decoded_file.h"
#include "platform/sound/sound_system.h"

namespace talmora::sound {

// Decodes a file piece by piece and converts it to the track's format: 44100 Hz stereo s16.
// Memory stays bounded by one slice of converted samples, whatever the file's length.
class ResampledDecoder final : public SoundDecoder {
 public:
  static constexpr int kOutputRate = 44100;

  int Open(const std::string& path);

  int Channels() const override;
  int BitsPerSample() const override;
  int Read(int16_t* out, int frames, int& got) override;

 private:
  // Output frames one conversion may produce besides the resampler's delay.
  static constexpr int kSliceFrames = 8192;
  // The resampler's own limit.
  static constexpr int kMaxChannels = 64;

  int Refill();
  int Configure(const AVFrame& frame);
  // Appends the conversion of `count` input frames (none with null `input`: the flush).
  int Convert(const uint8_t* const* input, int count);

  DecodedFile file_;
  SwrContextPtr resampler_;
  int input_format_ = -1;
  int input_rate_ = 0;
  int input_channels_ = 0;

  AVFrame* frame_ = nullptr;  // the decoded frame being converted, owned by file_
  int frame_used_ = 0;
  bool ended_ = false;

  std::vector<int16_t> pending_;  // converted, not yet read
  size_t pending_read_ = 0;
};

}  // namespace talmora::sound
