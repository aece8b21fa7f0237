#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/error.h"
#include "platform/movie/compressor_settings.h"
#include "platform/movie/movie_file.h"
#include "platform/render/frame.h"

namespace talmora {

class FrameCompressor;

// The step of opening a movie that failed.
enum class MovieFailure { kFile, kStream, kCompressor, kHeaders };

// A movie as it is recorded: opened with its stream and compressor, then the frames. Whatever
// happens, closing (or destruction) leaves the frames written so far in a valid file.
class MovieRecorder {
 public:
  // Creates the file at `path` as `container` lays it out, replacing one that is there, adds
  // the stream, opens the compressor for the stream's size and rate, and writes the headers.
  // A file that fails after its creation is removed again.
  static Expected<std::unique_ptr<MovieRecorder>, MovieFailure> Open(const MovieContainer& container,
                                                                     const std::string& path,
                                                                     const MovieStream& stream,
                                                                     const CompressorSettings& settings);
  ~MovieRecorder();

  // `index` counts frames from 0; the frame must have the stream's size.
  bool Write(int64_t index, const Frame& frame);
  bool Close();

 private:
  explicit MovieRecorder(std::unique_ptr<MovieFile> file);
  bool CreateStream(const MovieStream& stream);
  bool MakeCompressedStream(const CompressorSettings& settings);
  bool Begin();

  std::unique_ptr<MovieFile> file_;
  std::unique_ptr<FrameCompressor> compressor_;
  MovieStream stream_;
  bool has_stream_ = false;
  bool begun_ = false;
};

}  // namespace talmora
