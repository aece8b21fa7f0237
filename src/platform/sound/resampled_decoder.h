#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/libav_handles.h"
#include "platform/sound/decoded_file.h"
#include "platform/sound/sound_system.h"

namespace talmora::sound {

// Decodes a file piece by piece, plays it as its playback says and converts it to the track's
// format: 44100 Hz stereo s16. A loop keeps its decoded stretch when that is small, and otherwise
// reopens the file and decodes up to the loop's start again, so memory stays bounded whatever
// the file's length or the number of repeats. Frames already in the track's format are copied
// as they are.
class ResampledDecoder final : public SoundDecoder {
 public:
  static constexpr int kOutputRate = 44100;

  explicit ResampledDecoder(const Playback& playback) : playback_(playback) {}

  int Open(const std::string& path);

  Expected<int> Read(int16_t* out, int frames) override;
  int64_t Period() const override { return period_; }

 private:
  // Output frames one conversion may produce besides the resampler's delay.
  static constexpr int kSliceFrames = 8192;
  // The resampler's own limit.
  static constexpr int kMaxChannels = 64;
  // The largest loop stretch kept in memory, as decoded (about 24 s of CD audio).
  static constexpr int64_t kMaxRecordedBytes = int64_t{4} << 20;

  int Refill();
  // The next decoded frame in playing order; sets the part of it to play, frame_used_ to
  // frame_limit_. Returns 0, AVERROR_EOF at the end of the playback, or another negative AVERROR.
  int NextFrame(AVFrame*& frame);
  // Back to the loop's start, from memory or by reopening the file.
  int Restart();
  // A decoded frame and the part of it to play.
  struct Piece {
    FramePtr frame;
    int begin = 0, end = 0;
  };
  int Play(const Piece& piece, AVFrame*& frame);
  // Keeps what a pass plays of the loop's stretch, and the rest of the frame it ends in.
  void Record(const AVFrame& frame, int64_t first);
  bool Looping() const { return repeats_left_ != 0; }
  int Configure(const AVFrame& frame);
  // Appends the conversion of `count` input frames (none with null `input`: the flush).
  int Convert(const uint8_t* const* input, int count);

  const Playback playback_;
  std::string path_;
  DecodedFile file_;
  int file_rate_ = 0;
  SwrContextPtr resampler_;  // none while frames pass through
  bool configured_ = false;
  int input_format_ = -1;
  int source_rate_ = 0;  // of the frames, as decoded
  int input_rate_ = 0;   // as the resampler takes them: the playback's speed
  int input_channels_ = 0;

  // The loop, in the file's samples; repeats_left_ < 0 loops forever.
  int64_t loop_start_ = 0;
  int64_t loop_end_ = 0;
  int32_t repeats_left_ = 0;
  int64_t position_ = 0;  // samples decoded since the file was opened
  int64_t skip_to_ = 0;   // after a restart, the samples before the loop's start are dropped
  int64_t played_in_pass_ = 0;
  int64_t converted_ = 0;  // output frames so far
  int64_t last_restart_ = -1, last_period_ = 0, period_ = 0;
  // Whether the stretch is small enough to keep: recorded on the first pass that covers it whole.
  bool keep_stretch_ = false;
  bool recording_ = false, replaying_ = false;
  std::vector<Piece> stretch_;
  Piece tail_;
  Piece playing_tail_;
  size_t replay_next_ = 0;
  int64_t recorded_bytes_ = 0;

  AVFrame* frame_ = nullptr;  // the decoded frame being converted, owned by file_
  int frame_used_ = 0;
  int frame_limit_ = 0;
  bool ended_ = false;

  std::vector<int16_t> pending_;  // converted, not yet read
  size_t pending_read_ = 0;
};

}  // namespace talmora::sound
