#pragma once

// A movie file read back with libavformat and decoded with libavcodec, as players will.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/libav_handles.h"

namespace talmora::testing {

struct Packet {
  std::string data;
  bool key = false;
  double time = 0.0;
};

struct Stream {
  AVCodecID codec = AV_CODEC_ID_NONE;
  double start = 0.0, duration = 0.0;  // seconds
  int header = 0;                      // the codec's private header, in bytes
  std::vector<Packet> packets;
  std::vector<std::vector<uint32_t>> frames;  // decoded video, top row first, 0xAARRGGBB
  std::vector<bool> keys;                     // each frame's, by its bitstream
};

// Every stream of the file with its packets, the video's frames decoded.
inline std::vector<Stream> ReadStreams(const std::string& path) {
  AVFormatContext* raw = nullptr;
  if (avformat_open_input(&raw, ("file:" + path).c_str(), nullptr, nullptr) < 0) return {};
  const InputFormatPtr input(raw);
  EXPECT_GE(avformat_find_stream_info(raw, nullptr), 0);
  std::vector<Stream> streams(raw->nb_streams);
  std::vector<CodecContextPtr> decoders(raw->nb_streams);
  for (unsigned i = 0; i < raw->nb_streams; ++i) {
    const AVStream& s = *raw->streams[i];
    streams[i].codec = s.codecpar->codec_id;
    streams[i].header = s.codecpar->extradata_size;
    auto seconds = [&s](int64_t t) { return t == AV_NOPTS_VALUE ? -1.0 : static_cast<double>(t) * av_q2d(s.time_base); };
    streams[i].start = seconds(s.start_time);
    streams[i].duration = seconds(s.duration);
    if (s.codecpar->codec_type != AVMEDIA_TYPE_VIDEO) continue;
    decoders[i].reset(avcodec_alloc_context3(avcodec_find_decoder(s.codecpar->codec_id)));
    avcodec_parameters_to_context(decoders[i].get(), s.codecpar);
    EXPECT_EQ(avcodec_open2(decoders[i].get(), nullptr, nullptr), 0);
  }
  const PacketPtr packet(av_packet_alloc());
  const FramePtr frame(av_frame_alloc());
  auto drain = [&](unsigned i) {
    while (avcodec_receive_frame(decoders[i].get(), frame.get()) == 0) {
      const int width = frame->width, height = frame->height;
      SwsPtr converter(sws_getContext(width, height, static_cast<AVPixelFormat>(frame->format), width, height,
                                      AV_PIX_FMT_BGRA, SWS_POINT | SWS_BITEXACT, nullptr, nullptr, nullptr));
      uint8_t* out[1] = {reinterpret_cast<uint8_t*>(streams[i].frames.emplace_back(width * height).data())};
      const int out_stride[1] = {width * 4};
      sws_scale(converter.get(), frame->data, frame->linesize, 0, height, out, out_stride);
      streams[i].keys.push_back(frame->key_frame);
    }
  };
  while (av_read_frame(raw, packet.get()) == 0) {
    const auto i = static_cast<unsigned>(packet->stream_index);
    const int64_t pts = packet->pts == AV_NOPTS_VALUE ? packet->dts : packet->pts;
    streams[i].packets.push_back({std::string(reinterpret_cast<char*>(packet->data), packet->size),
                                  (packet->flags & AV_PKT_FLAG_KEY) != 0,
                                  static_cast<double>(pts) * av_q2d(raw->streams[i]->time_base)});
    if (decoders[i]) {
      EXPECT_EQ(avcodec_send_packet(decoders[i].get(), packet.get()), 0);
      drain(i);
    }
    av_packet_unref(packet.get());
  }
  for (unsigned i = 0; i < streams.size(); ++i) {
    if (!decoders[i]) continue;
    avcodec_send_packet(decoders[i].get(), nullptr);
    drain(i);
  }
  return streams;
}

}  // namespace talmora::testing
