#include "platform/sound/decoded_file.h"

#include <sys/stat.h>

#include <cerrno>

namespace talmora::sound {

int DecodedFile::Open(const std::string& path) {
  // Only regular local files: a pipe or a device could block or never end, and a URL in a
  // script must not reach out to the network. The "file:" prefix keeps a colon in a name a name.
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return AVERROR(errno);
  if (!S_ISREG(info.st_mode)) return AVERROR(S_ISDIR(info.st_mode) ? EISDIR : EINVAL);
  AVDictionary* options = nullptr;
  av_dict_set(&options, "protocol_whitelist", "file", 0);
  // The demuxer indexes what it reads for seeking, which a stream decoded through never does:
  // up to a megabyte a file, and the mix holds every sound playing open at once.
  av_dict_set(&options, "indexmem", "4096", 0);
  // A WAV of 16-bit samples is probed again from its packets, in case they are MP3 or AC-3 in
  // disguise: by default 32 packets, each probe running every demuxer over all read so far, about
  // 10 ms an opening. Four packets (16 kB) still show such a stream's frames.
  av_dict_set(&options, "max_probe_packets", "4", 0);
  AVFormatContext* format = nullptr;
  int ret = avformat_open_input(&format, ("file:" + path).c_str(), nullptr, &options);
  av_dict_free(&options);
  if (ret < 0) return ret;
  format_.reset(format);
  ret = avformat_find_stream_info(format, nullptr);
  if (ret < 0) return ret;

  const AVCodec* decoder = nullptr;
  ret = av_find_best_stream(format, AVMEDIA_TYPE_AUDIO, -1, -1, &decoder, 0);
  if (ret < 0) return ret;
  stream_ = format->streams[ret];
  for (unsigned i = 0; i < format->nb_streams; ++i) {
    if (format->streams[i] != stream_) format->streams[i]->discard = AVDISCARD_ALL;
  }

  codec_.reset(avcodec_alloc_context3(decoder));
  packet_.reset(av_packet_alloc());
  frame_.reset(av_frame_alloc());
  if (!codec_ || !packet_ || !frame_) return AVERROR(ENOMEM);
  ret = avcodec_parameters_to_context(codec_.get(), stream_->codecpar);
  if (ret < 0) return ret;
  codec_->pkt_timebase = stream_->time_base;
  ret = avcodec_open2(codec_.get(), decoder, nullptr);
  if (ret < 0) return ret;

  if (codec_->sample_rate < kMinRate || codec_->sample_rate > kMaxRate ||
      codec_->ch_layout.nb_channels < 1) {
    return AVERROR_INVALIDDATA;
  }
  return 0;
}

int64_t DecodedFile::DeclaredLengthMs() const {
  // A length estimated from the bit rate is a guess, and a stream with a start offset or
  // padding loses samples to trimming that the declared duration still counts.
  const AVCodecParameters& par = *stream_->codecpar;
  if (format_->duration_estimation_method == AVFMT_DURATION_FROM_BITRATE) return -1;
  if (stream_->duration == AV_NOPTS_VALUE || stream_->duration < 0) return -1;
  if (stream_->start_time != AV_NOPTS_VALUE && stream_->start_time != 0) return -1;
  if (par.initial_padding != 0 || par.trailing_padding != 0) return -1;
  const AVRational base = stream_->time_base;
  return av_rescale_rnd(stream_->duration, int64_t{base.num} * 1000, base.den, AV_ROUND_DOWN);
}

int DecodedFile::CountLengthMs(int64_t& length_ms) {
  const int rate = codec_->sample_rate;
  int64_t samples = 0;
  AVFrame* frame = nullptr;
  int ret;
  while ((ret = Next(frame)) == 0) {
    // A rate change inside the stream is rare enough to be counted at the opening rate.
    samples += frame->sample_rate == rate
                   ? frame->nb_samples
                   : av_rescale(frame->nb_samples, rate, frame->sample_rate);
  }
  if (ret != AVERROR_EOF) return ret;
  length_ms = av_rescale_rnd(samples, 1000, rate, AV_ROUND_DOWN);
  return 0;
}

int DecodedFile::Next(AVFrame*& frame) {
  for (;;) {
    int ret = avcodec_receive_frame(codec_.get(), frame_.get());
    if (ret == 0) {
      if (frame_->sample_rate <= 0 || frame_->nb_samples < 0) continue;
      frame = frame_.get();
      return 0;
    }
    // A damaged packet is skipped, as players do; the rest of the stream still plays.
    if (ret == AVERROR_INVALIDDATA) continue;
    if (ret != AVERROR(EAGAIN)) return ret;

    ret = av_read_frame(format_.get(), packet_.get());
    if (ret < 0) {
      // The end of the file, or a read error in a truncated one: either way the stream ends
      // here, and the decoder is drained of what it still holds.
      ret = avcodec_send_packet(codec_.get(), nullptr);
      if (ret < 0 && ret != AVERROR_EOF) return ret;
      continue;
    }
    if (packet_->stream_index == stream_->index) {
      ret = avcodec_send_packet(codec_.get(), packet_.get());
    }
    av_packet_unref(packet_.get());
    if (ret < 0 && ret != AVERROR_INVALIDDATA) return ret;
  }
}

}  // namespace talmora::sound
