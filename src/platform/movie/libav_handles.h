#pragma once

#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/frame.h>
#include <libswscale/swscale.h>
}

namespace talmora {

// One owner per libav handle, each released by its own _free function.
struct CodecContextFree {
  void operator()(AVCodecContext* p) const { avcodec_free_context(&p); }
};
struct CodecParametersFree {
  void operator()(AVCodecParameters* p) const { avcodec_parameters_free(&p); }
};
struct FrameFree {
  void operator()(AVFrame* p) const { av_frame_free(&p); }
};
struct PacketFree {
  void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct SwsFree {
  void operator()(SwsContext* p) const { sws_freeContext(p); }
};
struct OutputFormatFree {
  void operator()(AVFormatContext* p) const {
    avio_closep(&p->pb);
    avformat_free_context(p);
  }
};
struct InputFormatFree {
  void operator()(AVFormatContext* p) const { avformat_close_input(&p); }
};

using CodecContextPtr = std::unique_ptr<AVCodecContext, CodecContextFree>;
using CodecParametersPtr = std::unique_ptr<AVCodecParameters, CodecParametersFree>;
using AvFramePtr = std::unique_ptr<AVFrame, FrameFree>;
using PacketPtr = std::unique_ptr<AVPacket, PacketFree>;
using SwsPtr = std::unique_ptr<SwsContext, SwsFree>;
using OutputFormatPtr = std::unique_ptr<AVFormatContext, OutputFormatFree>;
using InputFormatPtr = std::unique_ptr<AVFormatContext, InputFormatFree>;

}  // namespace talmora
