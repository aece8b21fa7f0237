#include "platform/render/clip_decoder.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <string_view>
#include <vector>

extern "C" {
#include <libavutil/dict.h>
#include <libavutil/imgutils.h>
#include <libavutil/pixdesc.h>
}

#include "platform/libav_handles.h"
#include "platform/render/picture_decoder.h"
#include "platform/render/texture.h"
#include "platform/render/texture_cache.h"

namespace talmora {
namespace {

// Frame times that should be equal may differ in the last bits (3 × 0.1 against 0.3).
constexpr double kTimeSlack = 1e-6;
// Decoding on is cheaper than a seek, which restarts from a key frame, up to about this far.
constexpr double kSeekAhead = 5.0;
// Decoded frames held at once: the one shown, the one ahead, and about two in the decoder.
constexpr uint64_t kFramesHeld = 4;

bool IsStillReader(std::string_view name) {
  return name == "image2" || (name.size() > 5 && name.substr(name.size() - 5) == "_pipe");
}

// Animated pictures carry no length of their own: their frames are counted.
bool IsAnimatedPictureReader(std::string_view name) { return name == "gif" || name == "apng"; }

AVDictionary* BoundedDecoderOptions() {
  AVDictionary* options = nullptr;
  av_dict_set_int(&options, "max_pixels", int64_t{kMaxPictureSide} * kMaxPictureSide, 0);
  return options;
}

// The stream analysis decodes a frame: a huge one is refused before its memory is taken.
bool FindStreams(AVFormatContext& format) {
  std::vector<AVDictionary*> options(format.nb_streams);
  for (auto& o : options) o = BoundedDecoderOptions();
  const int found = avformat_find_stream_info(&format, options.data());
  for (auto& o : options) av_dict_free(&o);
  return found >= 0;
}

double Seconds(int64_t ticks, AVRational base) { return static_cast<double>(ticks) * av_q2d(base); }

std::optional<double> ProbeFile(const std::string& path) {
  // A still picture is known by its reader, before any of it is decoded.
  InputFormatPtr format = OpenLocalInput(path, Readers::kClips);
  if (!format || IsStillReader(format->iformat->name) || !FindStreams(*format)) return std::nullopt;
  const int index = av_find_best_stream(format.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  if (index < 0) return std::nullopt;
  const AVStream& stream = *format->streams[index];
  if (IsAnimatedPictureReader(format->iformat->name)) {
    PacketPtr packet(av_packet_alloc());
    if (!packet) return std::nullopt;
    int frames = 0;
    int64_t first = AV_NOPTS_VALUE, last_end = 0;
    while (av_read_frame(format.get(), packet.get()) >= 0) {
      if (packet->stream_index == index && packet->pts != AV_NOPTS_VALUE) {
        ++frames;
        if (first == AV_NOPTS_VALUE) first = packet->pts;
        last_end = std::max(last_end, packet->pts + std::max<int64_t>(packet->duration, 0));
      }
      av_packet_unref(packet.get());
    }
    if (frames < 2) return std::nullopt;  // one frame is a still picture
    return Seconds(last_end - first, stream.time_base);
  }
  if (stream.duration != AV_NOPTS_VALUE && stream.duration > 0) return Seconds(stream.duration, stream.time_base);
  if (format->duration != AV_NOPTS_VALUE && format->duration > 0) {
    double seconds = Seconds(format->duration, AV_TIME_BASE_Q);
    if (format->start_time != AV_NOPTS_VALUE && stream.start_time != AV_NOPTS_VALUE) {
      seconds -= Seconds(stream.start_time, stream.time_base) - Seconds(format->start_time, AV_TIME_BASE_Q);
    }
    return std::max(0.0, seconds);
  }
  return 0.0;
}

}  // namespace

std::optional<double> ProbeClip(const std::string& path) {
  // Many elements often name one file: it is read once.
  static std::map<FileKey, std::optional<double>> probed;
  const std::optional<FileKey> key = FileKeyOf(path);
  if (!key) return ProbeFile(path);
  auto found = probed.find(*key);
  if (found == probed.end()) found = probed.emplace(*key, ProbeFile(path)).first;
  return found->second;
}

struct ClipDecoder::Stream {
  std::string path;
  InputFormatPtr format;
  CodecContextPtr codec;
  int index = -1;
  AVRational time_base{1, 1};
  int64_t origin = 0;  // the time stamp of source time 0
  PacketPtr packet{av_packet_alloc()};
  FramePtr ahead{av_frame_alloc()};  // decoded, not yet due
  FramePtr taken{av_frame_alloc()};  // shown; kept to be converted again at another size
  bool has_ahead = false;
  double ahead_time = 0;
  bool draining = false;
  bool at_end = false;
  bool fresh = true;  // after opening or seeking: the first frame decoded is shown whatever its time
  double shown_time = 0;
  double first_time = 0;
  double last_time = 0;
  int halvings = 0;  // of the texture against the frame
  SwsContext* scaler = nullptr;
  std::unique_ptr<Texture> texture;

  ~Stream() { sws_freeContext(scaler); }

  // Opens (or opens again) the file and its decoder.
  const char* Open();
  bool Decode();
  void Seek(double seconds);
  // Whether another frame was taken.
  bool Advance(double seconds);
  // Into the texture, at the size `halvings` gives.
  bool Convert(const AVFrame& frame);
};

namespace {

// Like a texture level: the finest size still shrunk by less than two on either axis.
int Halvings(double shrink_x, double shrink_y, int width, int height) {
  const double least = std::min(shrink_x, shrink_y);
  if (!(least >= 2)) return 0;
  int k = static_cast<int>(std::floor(std::log2(std::min(least, 1e9))));
  while (k > 0 && ((width >> k) < 1 || (height >> k) < 1)) --k;
  return k;
}

}  // namespace

const char* ClipDecoder::Stream::Open() {
  codec.reset();
  format = OpenLocalInput(path, Readers::kClips);
  if (!format || !FindStreams(*format)) return "動画の形式が分からないか、壊れています";
  index = av_find_best_stream(format.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  if (index < 0) return "映像が含まれていません";
  for (unsigned i = 0; i < format->nb_streams; ++i) {
    if (static_cast<int>(i) != index) format->streams[i]->discard = AVDISCARD_ALL;
  }
  const AVStream& stream = *format->streams[index];
  if (stream.codecpar->width > kMaxPictureSide || stream.codecpar->height > kMaxPictureSide) {
    return "辺が16384を超えています";
  }
  time_base = stream.time_base;
  origin = stream.start_time != AV_NOPTS_VALUE ? stream.start_time : 0;
  const AVCodec* decoder = avcodec_find_decoder(stream.codecpar->codec_id);
  if (!decoder) return "この動画のデコーダがありません";
  codec.reset(avcodec_alloc_context3(decoder));
  if (!codec || avcodec_parameters_to_context(codec.get(), stream.codecpar) < 0) return "メモリが足りません";
  codec->pkt_timebase = stream.time_base;
  codec->thread_count = 2;
  BoundDecoder(*codec);
  if (avcodec_open2(codec.get(), decoder, nullptr) < 0) return "この動画のデコーダを開けません";
  has_ahead = draining = at_end = false;
  fresh = true;
  return nullptr;
}

// The next good frame into `ahead`; false at the end of the stream. Damaged packets and frames
// are passed over.
bool ClipDecoder::Stream::Decode() {
  while (true) {
    const int received = avcodec_receive_frame(codec.get(), ahead.get());
    if (received == 0) {
      const AVFrame& f = *ahead;
      if (f.width <= 0 || f.height <= 0 || f.format < 0 || f.decode_error_flags != 0 ||
          (f.flags & AV_FRAME_FLAG_CORRUPT)) {
        av_frame_unref(ahead.get());
        continue;
      }
      const int64_t stamp = f.best_effort_timestamp;
      ahead_time = stamp != AV_NOPTS_VALUE ? Seconds(stamp - origin, time_base)
                                           : last_time + std::max(Seconds(f.pkt_duration, time_base), 0.0);
      last_time = ahead_time;
      return true;
    }
    if (received == AVERROR_EOF || draining) return false;
    if (av_read_frame(format.get(), packet.get()) < 0) {
      // The end, or a cut-off file: what the decoder holds still comes out.
      draining = true;
      avcodec_send_packet(codec.get(), nullptr);
      continue;
    }
    if (packet->stream_index == index) avcodec_send_packet(codec.get(), packet.get());
    av_packet_unref(packet.get());
  }
}

void ClipDecoder::Stream::Seek(double seconds) {
  if (!format || !codec) return;  // a file that no longer opened holds its last frame
  const double ticks = std::max(0.0, seconds) / av_q2d(time_base);
  const int64_t target = origin + static_cast<int64_t>(std::min(ticks, 1e15));
  if (av_seek_frame(format.get(), index, target, AVSEEK_FLAG_BACKWARD) >= 0) {
    avcodec_flush_buffers(codec.get());
    has_ahead = draining = at_end = false;
    fresh = true;
    return;
  }
  // A reader that cannot seek starts over; one that no longer opens holds its frame.
  if (Open() != nullptr) at_end = true;
}

bool ClipDecoder::Stream::Advance(double seconds) {
  bool took = false;
  while (true) {
    if (!has_ahead && !at_end) {
      has_ahead = Decode();
      at_end = !has_ahead;
    }
    if (!has_ahead || (!fresh && ahead_time > seconds + kTimeSlack)) break;
    std::swap(taken, ahead);
    av_frame_unref(ahead.get());
    shown_time = ahead_time;
    has_ahead = fresh = false;
    took = true;
  }
  // The frame shown stays referenced, to be converted again when the size drawn changes.
  return took;
}

bool ClipDecoder::Stream::Convert(const AVFrame& frame) {
  const auto pixel_format = static_cast<AVPixelFormat>(frame.format);
  const int width = frame.width >> halvings, height = frame.height >> halvings;
  if (!texture || texture->Width() != width || texture->Height() != height) {
    auto resized = Texture::Changing(width, height);
    if (!resized) return false;
    texture = std::move(resized);
  }
  // The frame before is not to be shown any more, and what would convert it may go with the scaler.
  texture->CancelLater();
  // Halved sizes take the area average, as the levels do.
  scaler = sws_getCachedContext(scaler, frame.width, frame.height, pixel_format, width, height, AV_PIX_FMT_BGRA,
                                halvings > 0 ? SWS_AREA : SWS_POINT, nullptr, nullptr, nullptr);
  if (!scaler) return false;
  const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(pixel_format);
  const bool yuv = descriptor && !(descriptor->flags & AV_PIX_FMT_FLAG_RGB) && descriptor->nb_components >= 3;
  int* inverse = nullptr;
  int* table = nullptr;
  int source_range = 0, range = 0, brightness = 0, contrast = 0, saturation = 0;
  if (yuv && sws_getColorspaceDetails(scaler, &inverse, &source_range, &table, &range, &brightness,
                                      &contrast, &saturation) >= 0) {
    const int full = frame.color_range == AVCOL_RANGE_JPEG ? 1 : 0;
    if (full != source_range) sws_setColorspaceDetails(scaler, inverse, full, table, range, brightness, contrast, saturation);
  }
  const bool alpha = descriptor && (descriptor->flags & (AV_PIX_FMT_FLAG_ALPHA | AV_PIX_FMT_FLAG_PAL));
  if (!alpha) {
    // Converted when drawn, perhaps straight into the movie's frame. The frame is a reference of
    // its own, as the decoder moves on.
    std::shared_ptr<AVFrame> shown(av_frame_clone(&frame), [](AVFrame* f) { av_frame_free(&f); });
    if (shown) {
      SwsContext* with = scaler;
      texture->ChangedLater(
          [shown, with, height](uint8_t* top, int stride) { return ScaleInto(*with, *shown, top, stride, height); });
      return true;
    }
  }
  if (!ScaleToPlane(*scaler, frame, texture->Pixels())) return false;
  texture->Changed(alpha);
  return true;
}

ClipDecoder::ClipDecoder(std::unique_ptr<Stream> stream) : stream_(std::move(stream)) {}

ClipDecoder::~ClipDecoder() = default;

Expected<std::unique_ptr<ClipDecoder>> ClipDecoder::Open(const std::string& path, const Admission& admit) {
  auto stream = std::make_unique<Stream>();
  if (!stream->packet || !stream->ahead || !stream->taken) return Error{"メモリが足りません"};
  stream->path = path;
  if (const char* failure = stream->Open()) return Error{failure};
  if (admit) {
    const AVCodecContext& codec = *stream->codec;
    const int frame = av_image_get_buffer_size(codec.pix_fmt, codec.width, codec.height, 1);
    // A format not known before decoding is counted at four bytes a pixel.
    const uint64_t bytes = frame > 0 ? static_cast<uint64_t>(frame)
                                     : uint64_t{4} * static_cast<uint64_t>(codec.width) * static_cast<uint64_t>(codec.height);
    if (!admit(codec.width, codec.height, bytes * kFramesHeld)) return Error{""};
  }
  if (!stream->Advance(0.0)) return Error{"フレームをデコードできません"};
  stream->first_time = stream->shown_time;
  return std::unique_ptr<ClipDecoder>(new ClipDecoder(std::move(stream)));
}

const Texture* ClipDecoder::FrameAt(double seconds, double shrink_x, double shrink_y) {
  Stream& s = *stream_;
  const int halvings = Halvings(shrink_x, shrink_y, s.taken->width, s.taken->height);
  const bool resized = halvings != s.halvings || !s.texture;
  s.halvings = halvings;
  if (std::isnan(seconds)) seconds = s.shown_time;
  const bool back = seconds < s.shown_time - kTimeSlack && s.shown_time > s.first_time + kTimeSlack;
  const bool far = seconds > s.shown_time + kSeekAhead && !(s.at_end && !s.has_ahead) &&
                   !(s.has_ahead && s.ahead_time > seconds);
  if (back || far) s.Seek(seconds);
  if (s.Advance(seconds) || resized) s.Convert(*s.taken);
  return s.texture.get();
}

uint64_t ClipDecoder::TextureBytes(int width, int height, double across, double down) {
  const int halvings = Halvings(width / across, height / down, width, height);
  const uint64_t bytes = TexelPlane::Texels(width >> halvings, height >> halvings) * sizeof(uint32_t);
  return bytes + bytes / 3;
}

int ClipDecoder::Width() const { return stream_->taken->width; }

int ClipDecoder::Height() const { return stream_->taken->height; }

}  // namespace talmora
