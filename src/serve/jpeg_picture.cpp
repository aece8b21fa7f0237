#include "serve/jpeg_picture.h"

#include "platform/libav_handles.h"
#include "platform/render/frame.h"

namespace talmora {

bool EncodeJpegPicture(const Frame& frame, std::string& bytes, std::string& error) {
  const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_MJPEG);
  CodecContextPtr encoder(codec ? avcodec_alloc_context3(codec) : nullptr);
  FramePtr picture(av_frame_alloc());
  PacketPtr packet(av_packet_alloc());
  const int width = frame.Width(), height = frame.Height();
  SwsPtr scaler(sws_getContext(width, height, AV_PIX_FMT_BGRA, width, height, AV_PIX_FMT_YUVJ420P, SWS_POINT, nullptr,
                               nullptr, nullptr));
  if (!encoder || !picture || !packet || !scaler) {
    error = "JPEG エンコーダがありません";
    return false;
  }
  encoder->width = width;
  encoder->height = height;
  encoder->pix_fmt = AV_PIX_FMT_YUVJ420P;
  encoder->time_base = AVRational{1, 1};
  // A fixed quantiser of about 85 % quality: sharp enough to judge a frame by.
  encoder->flags |= AV_CODEC_FLAG_QSCALE;
  encoder->global_quality = FF_QP2LAMBDA * 3;
  picture->format = AV_PIX_FMT_YUVJ420P;
  picture->width = width;
  picture->height = height;
  picture->quality = encoder->global_quality;
  int result = avcodec_open2(encoder.get(), codec, nullptr);
  if (result >= 0) result = av_frame_get_buffer(picture.get(), 0);
  if (result >= 0) {
    const uint8_t* source[] = {reinterpret_cast<const uint8_t*>(frame.Row(0))};
    const int stride[] = {width * 4};
    sws_scale(scaler.get(), source, stride, 0, height, picture->data, picture->linesize);
    result = avcodec_send_frame(encoder.get(), picture.get());
  }
  if (result >= 0) result = avcodec_receive_packet(encoder.get(), packet.get());
  if (result < 0) {
    error = "JPEG の符号化に失敗しました (" + std::to_string(result) + ")";
    return false;
  }
  bytes.assign(reinterpret_cast<const char*>(packet->data), static_cast<size_t>(packet->size));
  return true;
}

}  // namespace talmora
