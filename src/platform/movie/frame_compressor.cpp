#include "platform/movie/frame_compressor.h"

#include <optional>

#include "platform/movie/bgra_to_yuv420.h"

namespace talmora {

namespace {

// Bottom-up BGRA rows into G, B, R and A planes. swscale's own path for this rounds some
// values by one, which a lossless compressor would then keep.
void SplitPlanes(const uint8_t* bottom_row, int stride, int width, int height, AVFrame& picture) {
  for (int y = 0; y < height; ++y) {
    const uint8_t* source = bottom_row - static_cast<ptrdiff_t>(y) * stride;
    uint8_t* g = picture.data[0] + static_cast<ptrdiff_t>(y) * picture.linesize[0];
    uint8_t* b = picture.data[1] + static_cast<ptrdiff_t>(y) * picture.linesize[1];
    uint8_t* r = picture.data[2] + static_cast<ptrdiff_t>(y) * picture.linesize[2];
    uint8_t* a = picture.data[3] + static_cast<ptrdiff_t>(y) * picture.linesize[3];
    for (int x = 0; x < width; ++x, source += 4) {
      b[x] = source[0];
      g[x] = source[1];
      r[x] = source[2];
      a[x] = source[3];
    }
  }
}

// The 4:2:0 formats are filled by our own conversion, which costs a fraction of swscale's; the
// range is the one the format states.
std::optional<YuvRange> Yuv420Range(AVPixelFormat format) {
  if (format == AV_PIX_FMT_YUVJ420P) return YuvRange::kFull;
  if (format == AV_PIX_FMT_YUV420P) return YuvRange::kLimited;
  return std::nullopt;
}

bool ValidSize(int width, int height) {
  return width > 0 && height > 0 && width <= Frame::kMaxSide && height <= Frame::kMaxSide;
}

// The encoder opened for this size and rate with the settings applied; empty when it refuses.
CodecContextPtr OpenEncoder(const CompressorInfo& info, const CompressorSettings& settings, int width, int height,
                            int fps) {
  if (!ValidSize(width, height) || (info.even_sides && (width % 2 || height % 2))) return nullptr;
  const AVCodec* codec = avcodec_find_encoder_by_name(info.encoder);
  if (!codec) return nullptr;
  CodecContextPtr encoder(avcodec_alloc_context3(codec));
  if (!encoder) return nullptr;
  // Without frames (a rate of 0) the stream still needs a valid time base.
  const int rate = fps > 0 ? fps : 1;
  encoder->width = width;
  encoder->height = height;
  encoder->pix_fmt = info.pixel_format;
  encoder->time_base = {1, rate};
  encoder->framerate = {rate, 1};
  encoder->thread_count = 0;
  info.configure(*encoder, settings);
  if (avcodec_open2(encoder.get(), codec, nullptr) < 0) return nullptr;
  return encoder;
}

}  // namespace

bool FrameCompressor::Accepts(const CompressorInfo& info, const CompressorSettings& settings, int width, int height,
                              int fps) {
  if (!info.encoder) return ValidSize(width, height);
  return OpenEncoder(info, settings, width, height, fps) != nullptr;
}

std::unique_ptr<FrameCompressor> FrameCompressor::Open(const CompressorInfo& info, const CompressorSettings& settings,
                                                       int width, int height, int fps) {
  if (!ValidSize(width, height)) return nullptr;
  std::unique_ptr<FrameCompressor> compressor(new FrameCompressor(info, width, height));
  compressor->packet_.reset(av_packet_alloc());
  if (!compressor->packet_) return nullptr;
  if (!info.encoder) return compressor;

  CodecContextPtr encoder = OpenEncoder(info, settings, width, height, fps);
  if (!encoder) return nullptr;
  AvFramePtr picture(av_frame_alloc());
  if (!picture) return nullptr;
  picture->format = info.pixel_format;
  picture->width = width;
  picture->height = height;
  if (av_frame_get_buffer(picture.get(), 0) < 0) return nullptr;
  SwsPtr converter;
  if (info.pixel_format != AV_PIX_FMT_GBRAP && !Yuv420Range(info.pixel_format)) {
    converter.reset(sws_getContext(width, height, AV_PIX_FMT_BGRA, width, height, info.pixel_format, SWS_BICUBIC,
                                   nullptr, nullptr, nullptr));
    if (!converter) return nullptr;
  }

  compressor->encoder_ = std::move(encoder);
  compressor->picture_ = std::move(picture);
  compressor->converter_ = std::move(converter);
  return compressor;
}

bool FrameCompressor::FillParameters(AVCodecParameters& parameters) const {
  if (encoder_) {
    if (avcodec_parameters_from_context(&parameters, encoder_.get()) < 0) return false;
    parameters.codec_tag = info_.fourcc;
    return true;
  }
  // Plain BI_RGB frames: no compression code in the format.
  parameters.codec_type = AVMEDIA_TYPE_VIDEO;
  parameters.codec_id = AV_CODEC_ID_RAWVIDEO;
  parameters.codec_tag = 0;
  parameters.format = AV_PIX_FMT_BGRA;
  parameters.bits_per_coded_sample = 32;
  parameters.width = width_;
  parameters.height = height_;
  return true;
}

bool FrameCompressor::Compress(int64_t index, std::span<const uint8_t> frame_data, PacketSink& sink) {
  const int stride = width_ * 4;
  if (frame_data.size() != static_cast<size_t>(stride) * height_) return false;

  if (!encoder_) {
    // The packet only borrows the frame data: the muxer writes it before Write returns.
    av_packet_unref(packet_.get());
    packet_->data = const_cast<uint8_t*>(frame_data.data());
    packet_->size = static_cast<int>(frame_data.size());
    packet_->pts = packet_->dts = index;
    packet_->duration = 1;
    packet_->flags = AV_PKT_FLAG_KEY;
    const bool written = sink.Write(*packet_);
    av_packet_unref(packet_.get());
    return written;
  }

  // The encoder may still hold the previous picture: then the next one gets a buffer of its own,
  // since all of it is overwritten anyway.
  if (!av_frame_is_writable(picture_.get())) {
    av_frame_unref(picture_.get());
    picture_->format = encoder_->pix_fmt;
    picture_->width = width_;
    picture_->height = height_;
    if (av_frame_get_buffer(picture_.get(), 0) < 0) return false;
  }
  // Bottom-up rows: start from the last one and step backwards.
  const uint8_t* bottom_row = frame_data.data() + static_cast<size_t>(height_ - 1) * stride;
  if (converter_) {
    const int source_stride[1] = {-stride};
    sws_scale(converter_.get(), &bottom_row, source_stride, 0, height_, picture_->data, picture_->linesize);
  } else if (const std::optional<YuvRange> range = Yuv420Range(encoder_->pix_fmt)) {
    BgraToYuv420(bottom_row, stride, *range, *picture_);
  } else {
    SplitPlanes(bottom_row, stride, width_, height_, *picture_);
  }
  picture_->pts = index;
  // The MPEG-style encoders take a fixed quantiser from each picture.
  picture_->quality = encoder_->global_quality;
  if (avcodec_send_frame(encoder_.get(), picture_.get()) < 0) return false;
  return Drain(sink);
}

bool FrameCompressor::Flush(PacketSink& sink) {
  if (!encoder_) return true;
  const int sent = avcodec_send_frame(encoder_.get(), nullptr);
  if (sent < 0 && sent != AVERROR_EOF) return false;
  return Drain(sink);
}

bool FrameCompressor::Drain(PacketSink& sink) {
  for (;;) {
    const int received = avcodec_receive_packet(encoder_.get(), packet_.get());
    if (received == AVERROR(EAGAIN) || received == AVERROR_EOF) return true;
    if (received < 0) return false;
    packet_->duration = 1;
    const bool written = sink.Write(*packet_);
    av_packet_unref(packet_.get());
    if (!written) return false;
  }
}

std::vector<const CompressorInfo*> OfferedCompressors(const BitmapInfoHeader& format, int fps) {
  std::vector<const CompressorInfo*> offered;
  if (!format.IsFrameFormat()) return offered;
  for (const CompressorInfo* info : PresentCompressors()) {
    if (FrameCompressor::Accepts(*info, CompressorSettings{}, format.biWidth, format.biHeight, fps)) {
      offered.push_back(info);
    }
  }
  return offered;
}

}  // namespace talmora
