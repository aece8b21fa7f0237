#pragma once

#include <memory>
#include <string>

#include "platform/libav_handles.h"
#include "platform/movie/movie_file.h"

namespace talmora {

// An AVI file with one video stream, written by libavformat's AVI muxer (OpenDML once it
// passes 1 GiB). Each packet is one chunk, its key flag in the index.
class AviWriter final : public MovieFile {
 public:
  static std::unique_ptr<MovieFile> Create(const std::string& path);
  ~AviWriter() override { Close(); }

  bool AddStream(const MovieStream& stream) override;
  bool Begin(const AVCodecParameters& parameters, AVRational time_base) override;
  bool Write(AVPacket& packet) override;
  bool Close() override;
  int WriteError() const override { return error_; }

 private:
  AviWriter(std::string path, OutputFormatPtr muxer) : path_(std::move(path)), muxer_(std::move(muxer)) {}
  bool PatchStreamHeader();
  // False once a write to the file has failed, whose reason is then kept.
  bool Healthy();

  std::string path_;
  OutputFormatPtr muxer_;
  AVStream* stream_ = nullptr;
  MovieStream info_;
  AVRational packet_time_base_{1, 1};
  AVRational chunk_time_base_{1, 1};
  bool begun_ = false;
  bool closed_ = false;
  bool close_result_ = false;
  int error_ = 0;
};

}  // namespace talmora
