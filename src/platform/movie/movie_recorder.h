#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/movie/compressor_settings.h"
#include "platform/movie/movie_file.h"
#include "platform/render/frame.h"

namespace talmora {

class FrameCompressor;

// A movie as it is recorded, step by step: the file, its stream, the compressor, the headers,
// then the frames. Each step reports failure by returning false. Whatever happened, closing (or
// destruction) leaves the frames written so far in a valid file.
class MovieRecorder {
 public:
  // Creates the file at `path` as `container` lays it out, replacing one that is there.
  static std::unique_ptr<MovieRecorder> Create(const MovieContainer& container, const std::string& path);
  ~MovieRecorder();

  bool CreateStream(const MovieStream& stream);
  // Opens the chosen compressor for the stream's frame size and rate.
  bool MakeCompressedStream(const CompressorSettings& settings);
  // Writes the headers with the compressor's format.
  bool Begin();
  // `index` counts frames from 0; the frame must have the stream's size.
  bool Write(int64_t index, const Frame& frame);
  bool Close();

 private:
  explicit MovieRecorder(std::unique_ptr<MovieFile> file);

  std::unique_ptr<MovieFile> file_;
  std::unique_ptr<FrameCompressor> compressor_;
  MovieStream stream_;
  bool has_stream_ = false;
  bool begun_ = false;
};

}  // namespace talmora
