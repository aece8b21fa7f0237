#include "platform/sound/resampled_decoder.h"

#include <algorithm>
#include <array>

extern "C" {
#include <libavutil/channel_layout.h>
}

namespace talmora::sound {

int ResampledDecoder::Open(const std::string& path) { return file_.Open(path); }

int ResampledDecoder::Channels() const { return file_.Codec().ch_layout.nb_channels; }

int ResampledDecoder::BitsPerSample() const {
  // Lossy formats decode to 16 bits; PCM and lossless ones report what the file stores.
  const AVCodecContext& codec = file_.Codec();
  const AVCodecDescriptor* descriptor = avcodec_descriptor_get(codec.codec_id);
  if (descriptor && (descriptor->props & AV_CODEC_PROP_LOSSY)) return 16;
  if (int bits = av_get_bits_per_sample(codec.codec_id); bits > 0) return bits;
  if (codec.bits_per_raw_sample > 0) return codec.bits_per_raw_sample;
  return av_get_bytes_per_sample(codec.sample_fmt) * 8;
}

int ResampledDecoder::Read(int16_t* out, int frames, int& got) {
  got = 0;
  while (got < frames) {
    const size_t available = (pending_.size() - pending_read_) / 2;
    if (available == 0) {
      if (ended_) break;
      const int ret = Refill();
      if (ret < 0) return ret;
      continue;
    }
    const size_t take = std::min(available, static_cast<size_t>(frames - got));
    std::copy_n(pending_.data() + pending_read_, take * 2, out + static_cast<size_t>(got) * 2);
    pending_read_ += take * 2;
    got += static_cast<int>(take);
  }
  return 0;
}

int ResampledDecoder::Refill() {
  pending_.clear();
  pending_read_ = 0;
  if (!frame_ || frame_used_ == frame_->nb_samples) {
    frame_ = nullptr;
    AVFrame* next = nullptr;
    const int ret = file_.Next(next);
    if (ret == AVERROR_EOF) {
      ended_ = true;
      return resampler_ ? Convert(nullptr, 0) : 0;
    }
    if (ret < 0) return ret;
    if (!resampler_ || next->format != input_format_ || next->sample_rate != input_rate_ ||
        next->ch_layout.nb_channels != input_channels_) {
      // The stream changed its format: what the old resampler still holds belongs before it.
      if (resampler_) {
        if (int flushed = Convert(nullptr, 0); flushed < 0) return flushed;
      }
      if (int configured = Configure(*next); configured < 0) return configured;
    }
    frame_ = next;
    frame_used_ = 0;
  }

  // Slices keep the output of one conversion small even for a low-rate file or a huge packet.
  const int slice_limit =
      std::max(1, static_cast<int>(int64_t{kSliceFrames} * input_rate_ / kOutputRate));
  const int count = std::min(frame_->nb_samples - frame_used_, slice_limit);
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
  AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
  SwrContext* resampler = nullptr;
  ret = swr_alloc_set_opts2(&resampler, &stereo, AV_SAMPLE_FMT_S16, kOutputRate, &input_layout,
                            static_cast<AVSampleFormat>(frame.format), frame.sample_rate, 0,
                            nullptr);
  av_channel_layout_uninit(&input_layout);
  resampler_.reset(resampler);
  if (ret < 0) return ret;
  ret = swr_init(resampler);
  if (ret < 0) {
    resampler_.reset();
    return ret;
  }
  input_format_ = frame.format;
  input_rate_ = frame.sample_rate;
  input_channels_ = frame.ch_layout.nb_channels;
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
    // A flush may need more than one call to give up the whole tail.
    if (input || done == 0) return 0;
  }
}

}  // namespace talmora::sound
