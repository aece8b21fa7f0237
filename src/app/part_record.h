#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "app/command_line.h"

namespace talmora {

// What a part is, written beside its movie and track once both are complete: the join takes a
// part as this script's, rendered with these options and whole, by it alone.
struct PartRecord {
  std::string made_by;  // the versions whose output it is (MadeBy)
  std::string script;   // the script's digest (FileDigest)
  std::string options;  // PixelOptions of its command line
  PartNumber part;
  int32_t first = 0;    // its frames [first, end) of the whole movie's total
  int32_t end = 0;
  int32_t total = 0;
  int32_t fps = 0;
  int32_t width = 0;
  int32_t height = 0;
  uint32_t fourcc = 0;
  std::string stream_header;  // the compressor's private header, as the stream was described
  int64_t movie_bytes = 0;    // the size of its AVI
  int64_t track_bytes = -1;   // of its WAV; -1 when the script has no sound
  bool failed = false;        // something the script asked for failed (its run ended with 2)
};

// key=value lines, the first naming the format.
std::string RecordText(const PartRecord& record);
// Empty unless `text` is a whole record.
std::optional<PartRecord> ReadRecord(const std::string& text);

// SHA-256 of the file's bytes, in hex; empty when it cannot be read.
std::string FileDigest(const std::string& path);

// talmora's version and the libavcodec it runs with, which together decide the packets.
std::string MadeBy();

// The options of `line` that change pixels or samples, as one text: parts and their join must
// have been given the same.
std::string PixelOptions(const CommandLine& line);

}  // namespace talmora
