#pragma once

#include <memory>
#include <string>

#include "platform/movie/avi_stream_info.h"
#include "platform/movie/libav_handles.h"
#include "platform/movie/packet_sink.h"

namespace talmora {

// An AVI file with one video stream, written by libavformat's AVI muxer (OpenDML once it
// passes 1 GiB). Packets arrive counted in frames; each is one chunk, its key flag in the index.
class AviWriter final : public PacketSink {
 public:
  // Creates the file, replacing one that is there; empty when it cannot be opened for writing.
  static std::unique_ptr<AviWriter> Create(const std::string& path);
  ~AviWriter() override { Close(); }

  bool AddStream(const AviStreamInfo& info);
  // Writes the headers with the stream's format, as its compressor describes it.
  bool Begin(const AVCodecParameters& parameters);
  bool Write(AVPacket& packet) override;
  // Completes the index and the counts. A file whose headers were never written is no movie
  // and is removed. True when everything reached the disk.
  bool Close();

 private:
  AviWriter(std::string path, OutputFormatPtr muxer) : path_(std::move(path)), muxer_(std::move(muxer)) {}
  bool PatchStreamHeader();

  std::string path_;
  OutputFormatPtr muxer_;
  AVStream* stream_ = nullptr;
  AviStreamInfo info_;
  bool begun_ = false;
  bool closed_ = false;
  bool close_result_ = false;
};

}  // namespace talmora
