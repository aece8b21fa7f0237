#pragma once

#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/frame.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

namespace talmora {

// One owner per libav handle: each alias frees with the library's own function, which takes
// the address of the pointer.
template <auto Free>
struct FreeWith {
  template <typename T>
  void operator()(T* handle) const { Free(&handle); }
};

// The two handles whose release takes more than one call, or the pointer itself.
inline void FreeScaler(SwsContext** scaler) { sws_freeContext(*scaler); }
inline void CloseOutput(AVFormatContext** context) {
  avio_closep(&(*context)->pb);
  avformat_free_context(*context);
}

using InputFormatPtr = std::unique_ptr<AVFormatContext, FreeWith<avformat_close_input>>;
using OutputFormatPtr = std::unique_ptr<AVFormatContext, FreeWith<CloseOutput>>;
using CodecContextPtr = std::unique_ptr<AVCodecContext, FreeWith<avcodec_free_context>>;
using CodecParametersPtr = std::unique_ptr<AVCodecParameters, FreeWith<avcodec_parameters_free>>;
using PacketPtr = std::unique_ptr<AVPacket, FreeWith<av_packet_free>>;
using FramePtr = std::unique_ptr<AVFrame, FreeWith<av_frame_free>>;
using SwsPtr = std::unique_ptr<SwsContext, FreeWith<FreeScaler>>;
using SwrContextPtr = std::unique_ptr<SwrContext, FreeWith<swr_free>>;

}  // namespace talmora
