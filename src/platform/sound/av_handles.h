#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswresample/swresample.h>
}

#include <memory>

namespace talmora::sound {

// One owner per libav handle: each alias frees with the library's own function, which takes
// the address of the pointer.
template <auto Free>
struct FreeWith {
  template <typename T>
  void operator()(T* handle) const { Free(&handle); }
};

using FormatContextPtr = std::unique_ptr<AVFormatContext, FreeWith<avformat_close_input>>;
using CodecContextPtr = std::unique_ptr<AVCodecContext, FreeWith<avcodec_free_context>>;
using PacketPtr = std::unique_ptr<AVPacket, FreeWith<av_packet_free>>;
using FramePtr = std::unique_ptr<AVFrame, FreeWith<av_frame_free>>;
using SwrContextPtr = std::unique_ptr<SwrContext, FreeWith<swr_free>>;

}  // namespace talmora::sound
