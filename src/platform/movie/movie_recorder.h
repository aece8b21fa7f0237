#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/error.h"
#include "platform/files/pending_file.h"
#include "platform/movie/compressor_settings.h"
#include "platform/movie/movie_file.h"
#include "platform/render/frame.h"

namespace talmora {

class FrameCompressor;

// A movie as it is recorded: opened with its stream and compressor, then the frames. It is
// written under a temporary name; closing completes it and puts it in the place of the file
// there before, with the frames written so far (destruction closes too). A file that could not
// be completed, or one cut off by an interrupt, leaves the old one as it was.
class MovieRecorder {
 public:
  // Creates the file for `path` as `container` lays it out, adds the stream, opens the
  // compressor for the stream's size and rate, and writes the headers. A file that fails after
  // its creation is removed again.
  static Expected<std::unique_ptr<MovieRecorder>> Open(const MovieContainer& container,
                                                                     const std::string& path,
                                                                     const MovieStream& stream,
                                                                     const CompressorSettings& settings);
  ~MovieRecorder();

  // `index` counts frames from 0; the frame must have the stream's size.
  bool Write(int64_t index, const Frame& frame);
  // Write in two halves, which two threads may run at once (see FrameCompressor::Convert): the
  // frame taken, then the oldest frame taken written as frame `index`.
  bool Convert(const Frame& frame);
  bool Send(int64_t index);
  // Frame `index` the same as the one written before it.
  bool Repeat(int64_t index);
  bool Close();
  // Why the file could not be written or put in its place: the system's error number, or 0.
  int WriteError() const;
  // The compressor's private header the stream was described with (empty for most).
  const std::string& StreamHeader() const { return stream_header_; }

 private:
  MovieRecorder(std::unique_ptr<PendingFile> pending, std::unique_ptr<MovieFile> file);
  bool CreateStream(const MovieStream& stream);
  bool MakeCompressedStream(const CompressorSettings& settings);
  bool Begin();

  std::unique_ptr<PendingFile> pending_;
  std::unique_ptr<MovieFile> file_;
  std::unique_ptr<FrameCompressor> compressor_;
  MovieStream stream_;
  bool has_stream_ = false;
  bool begun_ = false;
  int commit_error_ = 0;
  std::string stream_header_;
};

}  // namespace talmora
