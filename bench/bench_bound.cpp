// The encoder-only bound for one compressor: frames of a movie decoded once into the encoder's
// own format in memory, then encoded by libavcodec with talmora's settings and threads, the
// packets dropped. For "DIB " the work is the bottom-up copy talmora makes. Prints the frames per
// second and the CPU milliseconds a frame took over all threads. Every frame of the movie is held, so the bound encodes the same frames a render does.
// Usage: bench_bound MOVIE.avi CODE
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/libav_handles.h"
#include "platform/movie/bgra_to_yuv420.h"
#include "platform/movie/frame_compressor.h"

namespace talmora {
namespace {

using Clock = std::chrono::steady_clock;

// User and system seconds of every thread so far.
double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  const auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

class DroppedPackets : public PacketSink {
 public:
  bool Write(AVPacket&) override { return true; }
};

// The movie's frames as top-down BGRA.
std::vector<std::unique_ptr<Frame>> ReadFrames(const std::string& path) {
  std::vector<std::unique_ptr<Frame>> frames;
  AVFormatContext* opened = nullptr;
  if (avformat_open_input(&opened, path.c_str(), nullptr, nullptr) < 0) return frames;
  InputFormatPtr input(opened);
  if (avformat_find_stream_info(input.get(), nullptr) < 0 || input->nb_streams < 1) return frames;
  const AVCodecParameters* parameters = input->streams[0]->codecpar;
  const AVCodec* codec = avcodec_find_decoder(parameters->codec_id);
  CodecContextPtr decoder(avcodec_alloc_context3(codec));
  if (avcodec_parameters_to_context(decoder.get(), parameters) < 0 || avcodec_open2(decoder.get(), codec, nullptr) < 0) {
    return frames;
  }
  PacketPtr packet(av_packet_alloc());
  FramePtr decoded(av_frame_alloc());
  while (av_read_frame(input.get(), packet.get()) >= 0) {
    avcodec_send_packet(decoder.get(), packet.get());
    av_packet_unref(packet.get());
    while (avcodec_receive_frame(decoder.get(), decoded.get()) >= 0) {
      auto frame = Frame::Create(decoded->width, decoded->height);
      SwsPtr copy(sws_getContext(decoded->width, decoded->height, static_cast<AVPixelFormat>(decoded->format),
                                 decoded->width, decoded->height, AV_PIX_FMT_BGRA, SWS_POINT, nullptr, nullptr,
                                 nullptr));
      uint8_t* out[1] = {reinterpret_cast<uint8_t*>(frame->Row(0))};
      const int stride[1] = {decoded->width * 4};
      sws_scale(copy.get(), decoded->data, decoded->linesize, 0, decoded->height, out, stride);
      frames.push_back(std::move(frame));
    }
  }
  return frames;
}

// Laid out as talmora lays out its pictures, which some encoders take in place.
FramePtr Converted(const Frame& frame, AVCodecContext& encoder) {
  const AVPixelFormat format = encoder.pix_fmt;
  FramePtr picture(av_frame_alloc());
  if (!picture || !GetEncoderPicture(*picture, encoder)) return nullptr;
  const auto* top_row = reinterpret_cast<const uint8_t*>(frame.Row(0));
  const int stride = frame.Width() * 4;
  if (format == AV_PIX_FMT_YUV420P || format == AV_PIX_FMT_YUVJ420P) {
    BgraToYuv420(top_row, stride, format == AV_PIX_FMT_YUVJ420P ? YuvRange::kFull : YuvRange::kLimited, *picture);
  } else {
    SwsPtr converter(sws_getContext(frame.Width(), frame.Height(), AV_PIX_FMT_BGRA, frame.Width(), frame.Height(),
                                    format, SWS_POINT, nullptr, nullptr, nullptr));
    sws_scale(converter.get(), &top_row, &stride, 0, frame.Height(), picture->data, picture->linesize);
  }
  return picture;
}

int Run(const std::string& path, const std::string& code) {
  const CompressorInfo* info = LookUpCompressor(code);
  if (!info) return std::fprintf(stderr, "no compressor %s\n", code.c_str()), 2;
  auto frames = ReadFrames(path);
  if (frames.empty()) return std::fprintf(stderr, "no frames in %s\n", path.c_str()), 2;
  const int encodes = static_cast<int>(frames.size());
  const int width = frames[0]->Width(), height = frames[0]->Height();
  const CompressorSettings settings{.fourcc = info->fourcc};
  DroppedPackets sink;
  Clock::time_point start;
  double cpu_start = 0;
  if (!info->encoder) {  // uncompressed: the copy into bottom-up rows is all there is
    auto compressor = FrameCompressor::Open(*info, settings, width, height, 30);
    start = Clock::now();
    cpu_start = CpuSeconds();
    for (int i = 0; i < encodes; ++i) compressor->Compress(i, *frames[static_cast<size_t>(i)], sink);
  } else {
    CodecContextPtr encoder = OpenEncoder(*info, settings, width, height, 30);
    if (!encoder) return std::fprintf(stderr, "encoder %s refuses\n", info->encoder), 2;
    std::vector<FramePtr> pictures;
    for (auto& frame : frames) {  // a frame is dropped once converted: 600 of each would not fit everywhere
      pictures.push_back(Converted(*frame, *encoder));
      if (!pictures.back()) return std::fprintf(stderr, "no memory for the pictures\n"), 2;
      frame.reset();
    }
    PacketPtr packet(av_packet_alloc());
    start = Clock::now();
    cpu_start = CpuSeconds();
    for (int i = 0; i <= encodes; ++i) {
      AVFrame* picture = i < encodes ? pictures[static_cast<size_t>(i)].get() : nullptr;
      if (picture) {
        picture->pts = i;
        picture->quality = encoder->global_quality;
      }
      if (avcodec_send_frame(encoder.get(), picture) < 0) return std::fprintf(stderr, "encoding failed\n"), 1;
      while (avcodec_receive_packet(encoder.get(), packet.get()) >= 0) av_packet_unref(packet.get());
    }
  }
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  std::printf("%.1f %.3f\n", encodes / seconds, (CpuSeconds() - cpu_start) * 1000 / encodes);
  return 0;
}

}  // namespace
}  // namespace talmora

int main(int argc, char** argv) {
  av_log_set_level(AV_LOG_ERROR);  // x264's statistics are not the figure
  if (argc != 3) {
    std::fprintf(stderr, "usage: bench_bound MOVIE.avi CODE\n");
    return 2;
  }
  return talmora::Run(argv[1], argv[2]);
}
