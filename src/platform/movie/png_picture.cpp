#include "platform/movie/png_picture.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/files/pending_file.h"
#include "platform/libav_handles.h"
#include "platform/render/frame.h"

extern "C" {
#include <libavutil/error.h>
}

namespace talmora {
namespace {

std::string AvError(int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(code, text, sizeof text);
  return text;
}

// BGRA words to packed RGB rows of the encoder's picture.
void CopyRgb(const Frame& frame, AVFrame& picture) {
  for (int y = 0; y < frame.Height(); ++y) {
    const uint32_t* in = frame.Row(y);
    uint8_t* out = picture.data[0] + static_cast<ptrdiff_t>(y) * picture.linesize[0];
    for (int x = 0; x < frame.Width(); ++x, out += 3) {
      out[0] = static_cast<uint8_t>(in[x] >> 16);
      out[1] = static_cast<uint8_t>(in[x] >> 8);
      out[2] = static_cast<uint8_t>(in[x]);
    }
  }
}

bool Encode(const Frame& frame, PacketPtr& packet, std::string& error) {
  const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_PNG);
  CodecContextPtr encoder(codec ? avcodec_alloc_context3(codec) : nullptr);
  FramePtr picture(av_frame_alloc());
  packet.reset(av_packet_alloc());
  if (!encoder || !picture || !packet) {
    error = "PNG エンコーダがありません";
    return false;
  }
  encoder->width = frame.Width();
  encoder->height = frame.Height();
  encoder->pix_fmt = AV_PIX_FMT_RGB24;
  encoder->time_base = AVRational{1, 1};
  // A preview is looked at, not kept: the fastest deflate level.
  encoder->compression_level = 1;
  picture->format = AV_PIX_FMT_RGB24;
  picture->width = frame.Width();
  picture->height = frame.Height();
  int result = avcodec_open2(encoder.get(), codec, nullptr);
  if (result >= 0) result = av_frame_get_buffer(picture.get(), 0);
  if (result >= 0) {
    CopyRgb(frame, *picture);
    result = avcodec_send_frame(encoder.get(), picture.get());
  }
  if (result >= 0) result = avcodec_receive_packet(encoder.get(), packet.get());
  if (result < 0) {
    error = AvError(result);
    return false;
  }
  return true;
}

}  // namespace

bool WritePngPicture(const Frame& frame, const std::string& path, std::string& error) {
  PacketPtr packet;
  if (!Encode(frame, packet, error)) return false;
  // Under a temporary name, so that a full disk leaves the last picture as it was.
  PendingFile pending(path);
  FILE* file = pending.IsOpen() ? std::fopen(pending.Path().c_str(), "wb") : nullptr;
  if (!file) {
    error = std::strerror(errno);
    return false;
  }
  const bool written = std::fwrite(packet->data, 1, static_cast<size_t>(packet->size), file) ==
                       static_cast<size_t>(packet->size);
  const int saved = errno;
  if (std::fclose(file) == 0 && written && pending.Commit()) return true;
  error = std::strerror(written ? errno : saved);
  return false;
}

bool EncodePngPicture(const Frame& frame, std::string& bytes, std::string& error) {
  PacketPtr packet;
  if (!Encode(frame, packet, error)) return false;
  bytes.assign(reinterpret_cast<const char*>(packet->data), static_cast<size_t>(packet->size));
  return true;
}

}  // namespace talmora
