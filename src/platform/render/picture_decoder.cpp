#include "platform/render/picture_decoder.h"

#include <sys/stat.h>

#include <memory>
#include <string>
#include <string_view>

extern "C" {
#include <libavutil/dict.h>
#include <libavutil/pixdesc.h>
}

#include "platform/libav_handles.h"

namespace talmora {
namespace {

constexpr std::string_view kPictureFormats =
    "image2,gif,bmp_pipe,dds_pipe,dpx_pipe,exr_pipe,gif_pipe,j2k_pipe,jpeg_pipe,jpegls_pipe,"
    "jpegxl_pipe,pam_pipe,pbm_pipe,pcx_pipe,pfm_pipe,pgm_pipe,pgmyuv_pipe,pgx_pipe,phm_pipe,"
    "photocd_pipe,pictor_pipe,png_pipe,ppm_pipe,psd_pipe,qdraw_pipe,qoi_pipe,sgi_pipe,"
    "sunrast_pipe,tiff_pipe,vbn_pipe,webp_pipe,xbm_pipe,xpm_pipe,xwd_pipe";
// A still picture among them is told apart by its reader.
constexpr std::string_view kClipOnlyFormats =
    "apng,mov,mp4,m4a,3gp,3g2,mj2,matroska,webm,avi,flv,mpeg,mpegts,mpegvideo,ogg,nut,asf,dv,mxf,"
    "h264,hevc,m4v,ivf,obu,yuv4mpegpipe,mjpeg";

// Directories, pipes and devices would fail late, block or never end.

// Refuses a picture before its pixel memory is taken, so a header claiming a huge size costs
// nothing.
int GetBoundedBuffer(AVCodecContext* codec, AVFrame* frame, int flags) {
  if (frame->width > kMaxPictureSide || frame->height > kMaxPictureSide) return AVERROR_INVALIDDATA;
  return avcodec_default_get_buffer2(codec, frame, flags);
}

CodecContextPtr OpenDecoder(const AVStream& stream) {
  const AVCodec* decoder = avcodec_find_decoder(stream.codecpar->codec_id);
  if (!decoder) return nullptr;
  CodecContextPtr codec(avcodec_alloc_context3(decoder));
  if (!codec || avcodec_parameters_to_context(codec.get(), stream.codecpar) < 0) return nullptr;
  codec->thread_count = 1;
  BoundDecoder(*codec);
  // Damage that a decoder would otherwise conceal (a cut-off JPEG comes out half grey) fails the
  // picture instead. TIFF readers must skip tags they do not know, which the strict mode refuses.
  codec->err_recognition = AV_EF_CRCCHECK | AV_EF_BITSTREAM | AV_EF_BUFFER;
  if (decoder->id != AV_CODEC_ID_TIFF) codec->err_recognition |= AV_EF_EXPLODE;
  if (avcodec_open2(codec.get(), decoder, nullptr) < 0) return nullptr;
  return codec;
}

// The first picture of the stream, or empty.
FramePtr DecodeFirstFrame(AVFormatContext& format, int stream_index, AVCodecContext& codec) {
  PacketPtr packet(av_packet_alloc());
  FramePtr frame(av_frame_alloc());
  if (!packet || !frame) return nullptr;
  bool flushed = false;
  while (true) {
    const int received = avcodec_receive_frame(&codec, frame.get());
    if (received == 0) return frame;
    if (received != AVERROR(EAGAIN) || flushed) return nullptr;
    const int read = av_read_frame(&format, packet.get());
    if (read < 0) {
      // The end: drain what the decoder still holds.
      if (avcodec_send_packet(&codec, nullptr) < 0) return nullptr;
      flushed = true;
      continue;
    }
    const bool ours = packet->stream_index == stream_index;
    const int sent = ours ? avcodec_send_packet(&codec, packet.get()) : 0;
    av_packet_unref(packet.get());
    if (sent < 0) return nullptr;
  }
}

bool IsUsablePicture(const AVFrame& frame) {
  return frame.width > 0 && frame.height > 0 && frame.width <= kMaxPictureSide &&
         frame.height <= kMaxPictureSide && frame.format >= 0 && frame.decode_error_flags == 0 &&
         !(frame.flags & AV_FRAME_FLAG_CORRUPT);
}

TexelPlane ToStraightBgra(const AVFrame& frame) {
  const auto format = static_cast<AVPixelFormat>(frame.format);
  SwsPtr scaler(sws_getContext(frame.width, frame.height, format, frame.width, frame.height,
                                  AV_PIX_FMT_BGRA, SWS_POINT | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT,
                                  nullptr, nullptr, nullptr));
  if (!scaler) return TexelPlane();
  const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(format);
  const bool yuv = descriptor && !(descriptor->flags & AV_PIX_FMT_FLAG_RGB) && descriptor->nb_components >= 3;
  if (yuv && frame.color_range == AVCOL_RANGE_JPEG) {
    int* inverse = nullptr;
    int* table = nullptr;
    int source_range = 0, range = 0, brightness = 0, contrast = 0, saturation = 0;
    if (sws_getColorspaceDetails(scaler.get(), &inverse, &source_range, &table, &range, &brightness,
                                 &contrast, &saturation) >= 0) {
      sws_setColorspaceDetails(scaler.get(), inverse, 1, table, range, brightness, contrast, saturation);
    }
  }
  TexelPlane plane(frame.width, frame.height);
  if (!plane.Valid() || !ScaleToPlane(*scaler, frame, plane)) return TexelPlane();
  return plane;
}

}  // namespace

bool IsRegularFile(const std::string& path) {
  struct stat status {};
  return stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode);
}

bool ScaleToPlane(SwsContext& scaler, const AVFrame& source, TexelPlane& plane) {
  return ScaleInto(scaler, source, reinterpret_cast<uint8_t*>(plane.Row(0)),
                   static_cast<int>(plane.Stride() * sizeof(uint32_t)), plane.Height());
}

bool ScaleInto(SwsContext& scaler, const AVFrame& source, uint8_t* top, int stride, int height) {
  uint8_t* destination[4] = {top, nullptr, nullptr, nullptr};
  const int strides[4] = {stride, 0, 0, 0};
  return sws_scale(&scaler, source.data, source.linesize, 0, source.height, destination, strides) == height;
}

void BoundDecoder(AVCodecContext& codec) {
  codec.max_pixels = int64_t{kMaxPictureSide} * kMaxPictureSide;
  codec.get_buffer2 = GetBoundedBuffer;
}

InputFormatPtr OpenLocalInput(const std::string& path, Readers readers) {
  if (!IsRegularFile(path)) return nullptr;
  static const std::string kPictures(kPictureFormats);
  static const std::string kClips = kPictures + "," + std::string(kClipOnlyFormats);
  const std::string& formats = readers == Readers::kClips ? kClips : kPictures;
  AVDictionary* options = nullptr;
  av_dict_set(&options, "protocol_whitelist", "file", 0);
  av_dict_set(&options, "format_whitelist", formats.c_str(), 0);
  // The name is a file name, never a numbered-sequence pattern ("100%d.png" is one file).
  av_dict_set(&options, "pattern_type", "none", 0);
  // The "file:" prefix keeps a colon in the name from being read as a protocol.
  const std::string url = "file:" + path;
  AVFormatContext* context = nullptr;
  const int result = avformat_open_input(&context, url.c_str(), nullptr, &options);
  av_dict_free(&options);
  if (result < 0) return nullptr;
  return InputFormatPtr(context);
}

Expected<TexelPlane> DecodePicture(const std::string& path) {
  if (!IsRegularFile(path)) return Error{"通常のファイルではありません"};
  InputFormatPtr format = OpenLocalInput(path, Readers::kPictures);
  if (!format) return Error{"画像の形式が分かりません"};
  const int stream_index = av_find_best_stream(format.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  if (stream_index < 0) return Error{"画像が含まれていません"};
  CodecContextPtr codec = OpenDecoder(*format->streams[stream_index]);
  if (!codec) return Error{"この画像のデコーダがありません"};
  FramePtr frame = DecodeFirstFrame(*format, stream_index, *codec);
  if (!frame || !IsUsablePicture(*frame)) return Error{"壊れているか途中で切れているか、辺が16384を超えています"};
  TexelPlane plane = ToStraightBgra(*frame);
  if (!plane.Valid()) return Error{"画素に変換できないか、そのメモリが足りません"};
  return plane;
}

}  // namespace talmora
