#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

extern "C" {
#include <libavutil/rational.h>
}

#include "platform/movie/packet_sink.h"

struct AVCodecParameters;

namespace talmora {

// The one video stream a movie file holds.
struct MovieStream {
  uint32_t fourcc = 0;  // the compressor's four-character code
  int32_t rate = 30;    // frames per second; below 1 the movie has no frames
  int32_t width = 0;
  int32_t height = 0;
  std::string title;
};

// A movie file with one video stream, as a container format lays it out. Packets arrive in
// the time base given to Begin; the file rescales them to its own.
class MovieFile : public PacketSink {
 public:
  virtual bool AddStream(const MovieStream& stream) = 0;
  // Writes the headers with the stream's format, as its compressor describes it.
  virtual bool Begin(const AVCodecParameters& parameters, AVRational time_base) = 0;
  // Completes the file. One whose headers were never written is no movie and is removed. True
  // when everything reached the disk.
  virtual bool Close() = 0;
  // The system's error number of the first write the file refused (a full disk), or 0.
  virtual int WriteError() const { return 0; }
};

// A kind of movie file: the extension its name takes and the writer that makes it.
struct MovieContainer {
  std::string_view extension;  // with the dot
  // Creates the file at `path`, replacing one that is there; empty when it cannot be opened.
  std::unique_ptr<MovieFile> (*create)(const std::string& path);
};

// The kinds this build writes, the default first.
std::span<const MovieContainer> MovieContainers();

}  // namespace talmora
