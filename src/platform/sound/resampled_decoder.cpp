#include "platform/sound/resampled_decoder.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

extern "C" {
#include <libavutil/channel_layout.h>
}

namespace talmora::sound {

namespace {

// Seconds of the file's own time as a sample position, kept far from the integer limits.
int64_t SamplePosition(double seconds, int rate) {
  return std::llround(std::clamp(seconds, 0.0, 1e9) * rate);
}

}  // namespace

int ResampledDecoder::Open(const std::string& path) {
  path_ = path;
  const int ret = file_.Open(path);
  if (ret < 0) return ret;
  file_rate_ = file_.Codec().sample_rate;
  loop_start_ = SamplePosition(playback_.loop_start, file_rate_);
  loop_end_ = playback_.loop_end > playback_.loop_start
                  ? SamplePosition(playback_.loop_end, file_rate_)
                  : std::numeric_limits<int64_t>::max();
  skip_to_ = SamplePosition(playback_.start, file_rate_);
  repeats_left_ = loop_end_ > loop_start_ && skip_to_ < loop_end_ ? playback_.repeats : 0;
  // Kept only when the stretch is known to be small; a loop to a file end the container does
  // not state is played by reopening.
  const int64_t length_ms = file_.DeclaredLengthMs();
  const int64_t end = loop_end_ != std::numeric_limits<int64_t>::max() ? loop_end_
                      : length_ms >= 0 ? av_rescale(length_ms, file_rate_, 1000)
                                       : std::numeric_limits<int64_t>::max();
  const AVCodecContext& codec = file_.Codec();
  const int sample_bytes = std::max(1, av_get_bytes_per_sample(codec.sample_fmt));
  keep_stretch_ = Looping() &&
               end - loop_start_ <= kMaxRecordedBytes / codec.ch_layout.nb_channels / sample_bytes;
  // A first pass that starts inside the stretch does not hold all of it.
  recording_ = keep_stretch_ && skip_to_ <= loop_start_;
  return 0;
}

Expected<int> ResampledDecoder::Read(int16_t* out, int frames) {
  int got = 0;
  while (got < frames) {
    const int16_t* from = pending_.data() + pending_read_;
    size_t available = (pending_.size() - pending_read_) / 2;
    // Frames already in the track's format come straight from the decoded frame.
    const bool direct = available == 0 && !resampler_ && frame_ && frame_used_ < frame_limit_;
    if (direct) {
      from = reinterpret_cast<const int16_t*>(frame_->extended_data[0]) + 2 * static_cast<size_t>(frame_used_);
      available = static_cast<size_t>(frame_limit_ - frame_used_);
    }
    if (available == 0) {
      if (ended_) break;
      const int ret = Refill();
      if (ret < 0) return SoundError(ret);
      continue;
    }
    const size_t take = std::min(available, static_cast<size_t>(frames - got));
    std::copy_n(from, take * 2, out + static_cast<size_t>(got) * 2);
    if (direct) {
      frame_used_ += static_cast<int>(take);
      converted_ += static_cast<int64_t>(take);
    } else {
      pending_read_ += take * 2;
    }
    got += static_cast<int>(take);
  }
  return got;
}

int ResampledDecoder::Refill() {
  pending_.clear();
  pending_read_ = 0;
  if (!frame_ || frame_used_ == frame_limit_) {
    frame_ = nullptr;
    AVFrame* next = nullptr;
    const int ret = NextFrame(next);
    if (ret == AVERROR_EOF) {
      ended_ = true;
      return resampler_ ? Convert(nullptr, 0) : 0;
    }
    if (ret < 0) return ret;
    if (!configured_ || next->format != input_format_ || next->sample_rate != source_rate_ ||
        next->ch_layout.nb_channels != input_channels_) {
      // The stream changed its format: what the old resampler still holds belongs before it.
      if (resampler_) {
        if (int flushed = Convert(nullptr, 0); flushed < 0) return flushed;
      }
      if (int configured = Configure(*next); configured < 0) return configured;
    }
    frame_ = next;
  }
  if (!resampler_) return 0;

  // Slices keep the output of one conversion small even for a low-rate file or a huge packet.
  const int slice_limit =
      std::max(1, static_cast<int>(int64_t{kSliceFrames} * input_rate_ / kOutputRate));
  const int count = std::min(frame_limit_ - frame_used_, slice_limit);
  const auto format = static_cast<AVSampleFormat>(input_format_);
  const int sample_bytes = av_get_bytes_per_sample(format);
  std::array<const uint8_t*, kMaxChannels> planes{};
  if (av_sample_fmt_is_planar(format)) {
    for (int c = 0; c < input_channels_; ++c) {
      planes[c] = frame_->extended_data[c] + static_cast<size_t>(frame_used_) * sample_bytes;
    }
  } else {
    planes[0] = frame_->extended_data[0] +
                static_cast<size_t>(frame_used_) * sample_bytes * input_channels_;
  }
  frame_used_ += count;
  return Convert(planes.data(), count);
}

int ResampledDecoder::NextFrame(AVFrame*& frame) {
  for (;;) {
    if (replaying_) {
      if (replay_next_ < stretch_.size()) return Play(stretch_[replay_next_++], frame);
      if (Looping()) {
        if (const int restarted = Restart(); restarted < 0) return restarted;
        continue;
      }
      // The last repeat is over: on from the loop's end, where the first pass left the file.
      replaying_ = false;
      stretch_.clear();
      if (!tail_.frame) continue;
      playing_tail_ = std::move(tail_);
      return Play(playing_tail_, frame);
    }
    const bool loop_ended = Looping() && position_ >= loop_end_;
    const int ret = loop_ended ? AVERROR_EOF : file_.Next(frame);
    if (ret == AVERROR_EOF && Looping()) {
      if (const int restarted = Restart(); restarted < 0) return restarted;
      continue;
    }
    if (ret < 0) return ret;
    const int64_t first = position_;
    position_ += frame->nb_samples;
    frame_used_ = static_cast<int>(std::clamp<int64_t>(skip_to_ - first, 0, frame->nb_samples));
    frame_limit_ = frame->nb_samples;
    if (Looping() && position_ > loop_end_) {
      frame_limit_ = static_cast<int>(std::max<int64_t>(loop_end_ - first, frame_used_));
    }
    if (frame_used_ == frame_limit_) continue;
    if (recording_) Record(*frame, first);
    played_in_pass_ += frame_limit_ - frame_used_;
    return 0;
  }
}

int ResampledDecoder::Play(const Piece& piece, AVFrame*& frame) {
  frame_used_ = piece.begin;
  frame_limit_ = piece.end;
  played_in_pass_ += piece.end - piece.begin;
  frame = piece.frame.get();
  return 0;
}

void ResampledDecoder::Record(const AVFrame& frame, int64_t first) {
  const int begin =
      static_cast<int>(std::clamp<int64_t>(loop_start_ - first, frame_used_, frame_limit_));
  if (begin == frame_limit_) return;  // before the stretch
  const int64_t bytes = int64_t{frame.nb_samples} * frame.ch_layout.nb_channels *
                        av_get_bytes_per_sample(static_cast<AVSampleFormat>(frame.format));
  // The decoder hands out a fresh buffer for each frame, so a reference keeps this one intact.
  FramePtr kept(av_frame_clone(&frame));
  recorded_bytes_ += bytes;
  if (!kept || recorded_bytes_ > kMaxRecordedBytes) {
    recording_ = keep_stretch_ = false;
    stretch_.clear();
    tail_ = {};
    return;
  }
  if (frame_limit_ < frame.nb_samples) {
    tail_ = {FramePtr(av_frame_clone(&frame)), frame_limit_, frame.nb_samples};
    if (!tail_.frame) recording_ = false;
  }
  stretch_.push_back({std::move(kept), begin, frame_limit_});
}

int ResampledDecoder::Restart() {
  // A pass that played nothing (a loop starting after the file's end, or a playback starting
  // after the loop's) would repeat forever.
  if (played_in_pass_ == 0) {
    repeats_left_ = 0;
    return AVERROR_EOF;
  }
  if (repeats_left_ < 0) {
    // Counted between restarts, the output repeats once two passes give the same length.
    if (last_restart_ >= 0) {
      const int64_t pass = converted_ - last_restart_;
      period_ = pass == last_period_ ? pass : 0;
      last_period_ = pass;
    }
  } else {
    --repeats_left_;
  }
  last_restart_ = converted_;
  played_in_pass_ = 0;
  // A stretch small enough to keep is played again from memory; the file stays where the
  // first pass left it, at the loop's end.
  if (recording_ && !stretch_.empty()) {
    recording_ = false;
    replaying_ = true;
  }
  if (replaying_) {
    replay_next_ = 0;
    return 0;
  }
  // A first pass that began inside the stretch left it to this one to keep.
  recording_ = keep_stretch_ && stretch_.empty();
  frame_ = nullptr;
  file_ = DecodedFile();
  if (const int ret = file_.Open(path_); ret < 0) return ret;
  position_ = 0;
  skip_to_ = loop_start_;
  return 0;
}

int ResampledDecoder::Configure(const AVFrame& frame) {
  if (frame.ch_layout.nb_channels < 1 || frame.ch_layout.nb_channels > kMaxChannels ||
      frame.sample_rate < DecodedFile::kMinRate || frame.sample_rate > DecodedFile::kMaxRate) {
    return AVERROR_INVALIDDATA;
  }
  AVChannelLayout input_layout{};
  int ret = frame.ch_layout.order == AV_CHANNEL_ORDER_UNSPEC
                ? (av_channel_layout_default(&input_layout, frame.ch_layout.nb_channels), 0)
                : av_channel_layout_copy(&input_layout, &frame.ch_layout);
  if (ret < 0) return ret;
  // A playback rate of its own plays the samples faster or slower; a rate change inside the
  // stream keeps the same speed.
  const int input_rate =
      playback_.rate > 0
          ? static_cast<int>(std::clamp<int64_t>(
                av_rescale(frame.sample_rate, playback_.rate, file_rate_), kMinSoundRate,
                kMaxSoundRate))
          : frame.sample_rate;
  input_format_ = frame.format;
  source_rate_ = frame.sample_rate;
  input_rate_ = input_rate;
  input_channels_ = frame.ch_layout.nb_channels;
  configured_ = true;
  resampler_.reset();
  AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
  if (frame.format == AV_SAMPLE_FMT_S16 && input_rate == kOutputRate &&
      av_channel_layout_compare(&input_layout, &stereo) == 0) {
    av_channel_layout_uninit(&input_layout);
    return 0;
  }
  SwrContext* resampler = nullptr;
  ret = swr_alloc_set_opts2(&resampler, &stereo, AV_SAMPLE_FMT_S16, kOutputRate, &input_layout,
                            static_cast<AVSampleFormat>(frame.format), input_rate, 0, nullptr);
  av_channel_layout_uninit(&input_layout);
  resampler_.reset(resampler);
  // Mono plays on both sides as it is, as a player plays it; the standard matrix would lower it
  // by 3 dB.
  static constexpr double kBothSides[] = {1.0, 1.0};
  if (ret >= 0 && input_channels_ == 1) ret = swr_set_matrix(resampler, kBothSides, 1);
  if (ret >= 0) ret = swr_init(resampler);
  if (ret < 0) {
    resampler_.reset();
    configured_ = false;
    return ret;
  }
  return 0;
}

int ResampledDecoder::Convert(const uint8_t* const* input, int count) {
  // Room for everything the resampler can give back now: its delay plus this input.
  const int64_t room = av_rescale_rnd(swr_get_delay(resampler_.get(), input_rate_) + count,
                                      kOutputRate, input_rate_, AV_ROUND_UP);
  for (;;) {
    const size_t base = pending_.size();
    pending_.resize(base + static_cast<size_t>(room) * 2);
    auto* out = reinterpret_cast<uint8_t*>(pending_.data() + base);
    const int done = swr_convert(resampler_.get(), &out, static_cast<int>(room),
                                 const_cast<const uint8_t**>(input), count);
    pending_.resize(base + static_cast<size_t>(std::max(done, 0)) * 2);
    if (done < 0) return done;
    converted_ += done;
    // A flush may need more than one call to give up the whole tail.
    if (input || done == 0) return 0;
  }
}

}  // namespace talmora::sound
