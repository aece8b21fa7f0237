#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "platform/movie/avi_stream_info.h"
#include "platform/movie/bitmap_image.h"
#include "platform/movie/compressor_settings.h"

namespace talmora {

class AviWriter;
class FrameCompressor;

// The video file as a movie is written into it, step by step: the file, its stream, the
// compressed stream, the stream format, then the frames. Each step reports failure by
// returning false. Whatever happened, closing (or destruction) leaves the frames written so
// far in a valid file.
class AviFile {
 public:
  // Creates the file at `path`, replacing one that is there.
  static std::unique_ptr<AviFile> Create(const std::string& path);
  ~AviFile();

  bool CreateStream(const AviStreamInfo& info);
  // Opens the chosen compressor for the stream's frame size and rate.
  bool MakeCompressedStream(const CompressorSettings& settings);
  // The frames' format: the info header of their BMP images, matching the stream's size.
  bool SetFormat(const BitmapInfoHeader& format);
  // Frame data: the BMP image from byte 54. `index` counts frames from 0.
  bool Write(int64_t index, std::span<const uint8_t> frame_data);
  bool Close();

 private:
  explicit AviFile(std::unique_ptr<AviWriter> writer);

  std::unique_ptr<AviWriter> writer_;
  std::unique_ptr<FrameCompressor> compressor_;
  AviStreamInfo info_;
  bool has_stream_ = false;
  bool has_format_ = false;
};

}  // namespace talmora
