#include "platform/movie/frame_compressor.h"

#include <cstring>
#include <mutex>
#include <new>
#include <optional>

#include "platform/movie/bgra_to_yuv420.h"
#include "platform/movie/row_bands.h"

extern "C" {
#include <libavutil/imgutils.h>
}

namespace talmora {

namespace {

// BGRA frame rows into G, B, R and A planes. swscale's own path for this rounds some values by
// one, which a lossless compressor would then keep.
void SplitPlanes(const Frame& frame, AVFrame& picture, int first_row, int end_row) {
  const int width = frame.Width();
  for (int y = first_row; y < end_row; ++y) {
    const auto* source = reinterpret_cast<const uint8_t*>(frame.Row(y));
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

// BGRA frame rows as they are, or with red and blue swapped: what swscale does for these two,
// but in bands.
void CopyRows(const Frame& frame, AVFrame& picture, bool swap_red_blue, int first_row, int end_row) {
  const size_t row_bytes = static_cast<size_t>(frame.Width()) * 4;
  for (int y = first_row; y < end_row; ++y) {
    const auto* source = reinterpret_cast<const uint8_t*>(frame.Row(y));
    uint8_t* target = picture.data[0] + static_cast<ptrdiff_t>(y) * picture.linesize[0];
    if (!swap_red_blue) {
      std::memcpy(target, source, row_bytes);
      continue;
    }
    for (size_t x = 0; x < row_bytes; x += 4) {
      target[x] = source[x + 2];
      target[x + 1] = source[x + 1];
      target[x + 2] = source[x];
      target[x + 3] = source[x + 3];
    }
  }
}

// Formats converted by our own loops, which run in bands over the cores.
bool OwnConversion(AVPixelFormat format) {
  return format == AV_PIX_FMT_GBRAP || format == AV_PIX_FMT_BGRA || format == AV_PIX_FMT_RGBA ||
         format == AV_PIX_FMT_YUVJ420P || format == AV_PIX_FMT_YUV420P;
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

}  // namespace

// The slice count the settings ask for is a wish: a frame it does not fit gets the encoder's own.
CodecContextPtr OpenEncoder(const CompressorInfo& info, const CompressorSettings& settings, int width, int height,
                            int fps) {
  if (!ValidSize(width, height) || (info.even_sides && (width % 2 || height % 2))) return nullptr;
  const AVCodec* codec = avcodec_find_encoder_by_name(info.encoder);
  if (!codec) return nullptr;
  for (const bool own_slices : {false, true}) {
    CodecContextPtr encoder(avcodec_alloc_context3(codec));
    if (!encoder) return nullptr;
    // Without frames (a rate of 0) the stream still needs a valid time base.
    const int rate = fps > 0 ? fps : 1;
    encoder->width = width;
    encoder->height = height;
    encoder->pix_fmt = info.pixel_format;
    encoder->time_base = {1, rate};
    encoder->framerate = {rate, 1};
    // As many threads as cores, on frames or on slices, whichever the encoder offers.
    encoder->thread_count = 0;
    encoder->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
    info.configure(*encoder, settings);
    if (own_slices) {
      if (encoder->slices == 0) return nullptr;
      encoder->slices = 0;
    }
    if (avcodec_open2(encoder.get(), codec, nullptr) >= 0) return encoder;
  }
  return nullptr;
}

bool GetEncoderPicture(AVFrame& picture, AVCodecContext& encoder) {
  picture.format = encoder.pix_fmt;
  picture.width = encoder.width;
  picture.height = encoder.height;
  // The rows as long as the encoder's own buffers have them: those of the picture with a 16-pixel
  // edge all round, in the buffer pool's layout. The MPEG family takes a picture whose rows match
  // in place; with any other length it copies each one into a buffer of its own first.
  int width = encoder.width + 32, height = encoder.height + 32;
  int align[AV_NUM_DATA_POINTERS] = {};
  avcodec_align_dimensions2(&encoder, &width, &height, align);
  const auto libav_layout = [&] {
    for (auto& plane : picture.data) plane = nullptr;
    return av_frame_get_buffer(&picture, 0) >= 0;
  };
  int linesize[4] = {};
  for (bool aligned = false; !aligned;) {
    if (width > 4 * encoder.width + 4096 || av_image_fill_linesizes(linesize, encoder.pix_fmt, width) < 0) {
      return libav_layout();
    }
    width += width & -width;  // the pool's way: each try a multiple of a larger power of two
    aligned = true;
    for (int i = 0; i < 4; ++i) aligned = aligned && (align[i] <= 0 || linesize[i] % align[i] == 0);
  }
  // The planes as libav lays out a picture of its own: from a 64-byte boundary, each as high as the
  // picture rounded up to 32 rows, with room past the end for vector code that reads beyond it.
  const int rows = (encoder.height + 31) / 32 * 32;
  const int size = av_image_fill_pointers(picture.data, encoder.pix_fmt, rows, nullptr, linesize);
  if (size < 0) return libav_layout();
  constexpr int kAlign = 64;
  AVBufferRef* buffer = av_buffer_alloc(static_cast<size_t>(size) + kAlign + AV_INPUT_BUFFER_PADDING_SIZE);
  if (!buffer) return false;
  uint8_t* const top = buffer->data + (kAlign - reinterpret_cast<uintptr_t>(buffer->data) % kAlign) % kAlign;
  if (av_image_fill_pointers(picture.data, encoder.pix_fmt, rows, top, linesize) < 0) {
    av_buffer_unref(&buffer);
    return false;
  }
  for (int i = 0; i < 4; ++i) picture.linesize[i] = linesize[i];
  picture.buf[0] = buffer;
  picture.extended_data = picture.data;
  return true;
}

bool FrameCompressor::Accepts(const CompressorInfo& info, const CompressorSettings& settings, int width, int height,
                              int fps) {
  if (!info.encoder) return ValidSize(width, height);
  return OpenEncoder(info, settings, width, height, fps) != nullptr;
}

std::unique_ptr<FrameCompressor> FrameCompressor::Open(const CompressorInfo& info, const CompressorSettings& settings,
                                                       int width, int height, int fps) {
  if (!ValidSize(width, height)) return nullptr;
  std::unique_ptr<FrameCompressor> compressor(new FrameCompressor(width, height, fps));
  compressor->packet_.reset(av_packet_alloc());
  compressor->last_.reset(av_packet_alloc());
  if (!compressor->packet_ || !compressor->last_) return nullptr;
  if (!info.encoder) return compressor;
  // A data rate makes each frame's quantiser depend on the frames before it.
  compressor->stands_alone_ =
      ExactRestartSpacing(info, settings) == 1 && !PredictsFrames(info) && settings.data_rate <= 0;

  CodecContextPtr encoder = OpenEncoder(info, settings, width, height, fps);
  if (!encoder) return nullptr;
  FramePtr picture(av_frame_alloc());
  if (!picture || !GetEncoderPicture(*picture, *encoder)) return nullptr;
  SwsPtr converter;
  if (!OwnConversion(info.pixel_format)) {
    converter.reset(sws_getContext(width, height, AV_PIX_FMT_BGRA, width, height, info.pixel_format, SWS_BICUBIC,
                                   nullptr, nullptr, nullptr));
    if (!converter) return nullptr;
  }

  compressor->encoder_ = std::move(encoder);
  auto first = std::make_unique<Picture>();
  first->frame = std::move(picture);
  first->converted.assign(compressor->ConvertedWords(), 0);
  compressor->free_.push_back(std::move(first));
  compressor->converter_ = std::move(converter);
  return compressor;
}

bool FrameCompressor::FillParameters(AVCodecParameters& parameters) const {
  if (encoder_) {
    return avcodec_parameters_from_context(&parameters, encoder_.get()) >= 0;
  }
  parameters.codec_type = AVMEDIA_TYPE_VIDEO;
  parameters.codec_id = AV_CODEC_ID_RAWVIDEO;
  parameters.format = AV_PIX_FMT_BGRA;
  parameters.bits_per_coded_sample = 32;
  parameters.width = width_;
  parameters.height = height_;
  return true;
}

bool FrameCompressor::WriteRows(const std::vector<uint8_t>& rows, int64_t index, PacketSink& sink) {
  // The packet only borrows the rows: the file writes them before Write returns.
  av_packet_unref(packet_.get());
  packet_->data = const_cast<uint8_t*>(rows.data());
  packet_->size = static_cast<int>(rows.size());
  packet_->pts = packet_->dts = index;
  packet_->duration = 1;
  packet_->flags = AV_PKT_FLAG_KEY;
  const bool written = sink.Write(*packet_);
  av_packet_unref(packet_.get());
  return written;
}

bool FrameCompressor::Compress(int64_t index, const Frame& frame, PacketSink& sink) {
  return Convert(frame) && Send(index, sink);
}

bool FrameCompressor::Convert(const Frame& frame) {
  if (frame.Width() != width_ || frame.Height() != height_) return false;
  std::unique_ptr<Picture> taken = TakeWritablePicture();
  if (!taken) return false;
  Picture& picture = *taken;
  if (!encoder_) {
    // Uncompressed frames are stored as BMP rows: bottom-up, 4 bytes a pixel (B, G, R, A).
    const size_t row_bytes = static_cast<size_t>(width_) * 4;
    try {
      picture.rows.resize(row_bytes * static_cast<size_t>(height_));
    } catch (const std::bad_alloc&) {
      return false;
    }
    uint8_t* row = picture.rows.data();
    for (int y = height_ - 1; y >= 0; --y, row += row_bytes) std::memcpy(row, frame.Row(y), row_bytes);
  } else if (converter_) {
    const auto* top_row = reinterpret_cast<const uint8_t*>(frame.Row(0));
    const int stride = width_ * 4;
    sws_scale(converter_.get(), &top_row, &stride, 0, height_, picture.frame->data, picture.frame->linesize);
  } else {
    const AVPixelFormat format = encoder_->pix_fmt;
    const std::optional<YuvRange> range = Yuv420Range(format);
    uint32_t colour = 0;
    if (!frame.DrawnBlocks(0, &colour) || colour != picture.colour) {
      std::fill(picture.converted.begin(), picture.converted.end(), 0);
    }
    picture.colour = colour;
    bands_.ForEach(height_, 2, [&](int first_row, int end_row) {
      if (range) {
        ConvertChanged(frame, *range, picture, first_row, end_row);
      } else if (format == AV_PIX_FMT_GBRAP) {
        SplitPlanes(frame, *picture.frame, first_row, end_row);
      } else {
        CopyRows(frame, *picture.frame, format == AV_PIX_FMT_RGBA, first_row, end_row);
      }
    });
  }
  std::lock_guard lock(handover_);
  converted_.push_back(std::move(taken));
  return true;
}

bool FrameCompressor::Send(int64_t index, PacketSink& sink) {
  std::unique_ptr<Picture> picture;
  {
    std::lock_guard lock(handover_);
    if (converted_.empty()) return false;
    picture = std::move(converted_.front());
    converted_.pop_front();
  }
  Picture* const sent = picture.get();
  bool written = false;
  if (!encoder_) {
    written = WriteRows(picture->rows, index, sink);
  } else {
    picture->frame->pts = index;
    // The MPEG-style encoders take a fixed quantiser from each picture.
    picture->frame->quality = encoder_->global_quality;
    written = avcodec_send_frame(encoder_.get(), picture->frame.get()) >= 0;
  }
  {
    std::lock_guard lock(handover_);
    sent_.push_back(std::move(picture));
    last_sent_ = sent;
  }
  return written && (!encoder_ || Drain(sink));
}

std::unique_ptr<FrameCompressor::Picture> FrameCompressor::TakeWritablePicture() {
  {
    std::lock_guard lock(handover_);
    for (auto& picture : sent_) free_.push_back(std::move(picture));
    sent_.clear();
  }
  // A picture the encoder still reads is left to it; one it has let go is converted into again,
  // where the blocks that hold the background stay.
  for (auto it = free_.begin(); it != free_.end(); ++it) {
    if (!(*it)->frame || av_frame_is_writable((*it)->frame.get())) {
      std::unique_ptr<Picture> taken = std::move(*it);
      free_.erase(it);
      return taken;
    }
  }
  try {
    auto made = std::make_unique<Picture>();
    made->converted.assign(ConvertedWords(), 0);
    if (encoder_) {
      made->frame.reset(av_frame_alloc());
      if (!made->frame || !GetEncoderPicture(*made->frame, *encoder_)) return nullptr;
    }
    return made;
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

void FrameCompressor::ConvertChanged(const Frame& frame, YuvRange range, Picture& picture, int first_row,
                                     int end_row) {
  const auto* top_row = reinterpret_cast<const uint8_t*>(frame.Row(0));
  const int stride = width_ * 4;
  const size_t words = Frame::BlockWords(width_);
  const int blocks = (width_ + Frame::kBlock - 1) / Frame::kBlock;
  for (int y = first_row & ~1; y < std::min(end_row, height_); y += 2) {
    uint64_t* held = picture.converted.data() + static_cast<size_t>(y / 2) * words;
    uint32_t colour = 0;
    const uint64_t* upper = frame.DrawnBlocks(y, &colour);
    const uint64_t* lower = y + 1 < height_ ? frame.DrawnBlocks(y + 1, &colour) : upper;
    if (!upper || !lower) {
      BgraToYuv420Columns(top_row, stride, range, *picture.frame, y, 0, width_);
      std::fill_n(held, words, 0);
      continue;
    }
    uint64_t convert[Frame::kMaxBlockWords];
    for (size_t w = 0; w < words; ++w) {
      const uint64_t drawn = upper[w] | lower[w];
      convert[w] = drawn | ~held[w];
      held[w] = ~drawn;
    }
    const auto converts = [&](int block) { return convert[block / 64] >> (block % 64) & 1; };
    for (int block = 0; block < blocks;) {
      if (!converts(block)) {
        ++block;
        continue;
      }
      int end = block + 1;
      while (end < blocks && converts(end)) ++end;
      BgraToYuv420Columns(top_row, stride, range, *picture.frame, y, block * Frame::kBlock,
                          std::min(end * Frame::kBlock, width_));
      block = end;
    }
  }
}

bool FrameCompressor::Repeat(int64_t index, PacketSink& sink) {
  if (!last_sent_) return false;
  if (!encoder_) return WriteRows(last_sent_->rows, index, sink);
  if (!stands_alone_) {
    last_sent_->frame->pts = index;
    if (avcodec_send_frame(encoder_.get(), last_sent_->frame.get()) < 0) return false;
    return Drain(sink);
  }
  if (last_index_ == index - 1) return WriteAgain(index, sink);
  waiting_.push_back(index);
  return true;
}

bool FrameCompressor::WriteAgain(int64_t index, PacketSink& sink) {
  const PacketPtr again(av_packet_alloc());
  if (!again || av_packet_ref(again.get(), last_.get()) < 0) return false;
  again->pts = again->dts = index;
  again->duration = 1;
  last_index_ = index;
  return sink.Write(*again);
}

bool FrameCompressor::Flush(PacketSink& sink) {
  if (!encoder_) return true;
  const int sent = avcodec_send_frame(encoder_.get(), nullptr);
  if (sent < 0 && sent != AVERROR_EOF) return false;
  return Drain(sink) && waiting_.empty();
}

bool FrameCompressor::Drain(PacketSink& sink) {
  for (;;) {
    const int received = avcodec_receive_packet(encoder_.get(), packet_.get());
    if (received == AVERROR(EAGAIN) || received == AVERROR_EOF) return true;
    if (received < 0) return false;
    packet_->duration = 1;
    if (stands_alone_) {
      av_packet_unref(last_.get());
      if (av_packet_ref(last_.get(), packet_.get()) < 0) return false;
      last_index_ = packet_->pts;
    }
    const bool written = sink.Write(*packet_);
    av_packet_unref(packet_.get());
    if (!written) return false;
    while (!waiting_.empty() && waiting_.front() == last_index_ + 1) {
      const int64_t index = waiting_.front();
      waiting_.pop_front();
      if (!WriteAgain(index, sink)) return false;
    }
  }
}

std::vector<const CompressorInfo*> OfferedCompressors(int width, int height, int fps) {
  std::vector<const CompressorInfo*> offered;
  for (const CompressorInfo* info : PresentCompressors()) {
    if (FrameCompressor::Accepts(*info, CompressorSettings{}, width, height, fps)) {
      offered.push_back(info);
    }
  }
  return offered;
}

}  // namespace talmora
