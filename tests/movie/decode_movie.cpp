#include "movie/decode_movie.h"

extern "C" {
#include <libavutil/pixdesc.h>
}

#include "platform/movie/libav_handles.h"

namespace talmora::testing {

namespace {

bool Convert(const AVFrame& frame, DecodedMovie& movie) {
  const auto format = static_cast<AVPixelFormat>(frame.format);
  SwsPtr converter(sws_getContext(frame.width, frame.height, format, frame.width, frame.height, AV_PIX_FMT_BGRA,
                                  SWS_POINT | SWS_ACCURATE_RND | SWS_BITEXACT, nullptr, nullptr, nullptr));
  if (!converter) return false;
  DecodedFrame decoded;
  decoded.pixels.resize(static_cast<size_t>(frame.width) * frame.height);
  decoded.key = frame.key_frame != 0;
  uint8_t* out[1] = {reinterpret_cast<uint8_t*>(decoded.pixels.data())};
  const int out_stride[1] = {frame.width * 4};
  sws_scale(converter.get(), frame.data, frame.linesize, 0, frame.height, out, out_stride);
  const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(format);
  movie.has_alpha = descriptor && (descriptor->flags & AV_PIX_FMT_FLAG_ALPHA);
  movie.width = frame.width;
  movie.height = frame.height;
  movie.frames.push_back(std::move(decoded));
  return true;
}

bool Receive(AVCodecContext& decoder, AVFrame& frame, DecodedMovie& movie) {
  for (;;) {
    const int received = avcodec_receive_frame(&decoder, &frame);
    if (received == AVERROR(EAGAIN) || received == AVERROR_EOF) return true;
    if (received < 0 || !Convert(frame, movie)) return false;
  }
}

}  // namespace

DecodedMovie DecodeMovie(const std::string& path) {
  DecodedMovie movie;
  AVFormatContext* opened = nullptr;
  if (avformat_open_input(&opened, ("file:" + path).c_str(), nullptr, nullptr) < 0) return movie;
  InputFormatPtr input(opened);
  if (avformat_find_stream_info(input.get(), nullptr) < 0 || input->nb_streams != 1) return movie;
  const AVCodecParameters* parameters = input->streams[0]->codecpar;
  const AVCodec* codec = avcodec_find_decoder(parameters->codec_id);
  if (!codec) return movie;
  movie.codec = codec->name;
  CodecContextPtr decoder(avcodec_alloc_context3(codec));
  if (!decoder || avcodec_parameters_to_context(decoder.get(), parameters) < 0 ||
      avcodec_open2(decoder.get(), codec, nullptr) < 0) {
    return movie;
  }
  PacketPtr packet(av_packet_alloc());
  AvFramePtr frame(av_frame_alloc());
  while (av_read_frame(input.get(), packet.get()) >= 0) {
    const int sent = avcodec_send_packet(decoder.get(), packet.get());
    av_packet_unref(packet.get());
    if (sent < 0 || !Receive(*decoder, *frame, movie)) return movie;
  }
  avcodec_send_packet(decoder.get(), nullptr);
  movie.ok = Receive(*decoder, *frame, movie);
  return movie;
}

}  // namespace talmora::testing
