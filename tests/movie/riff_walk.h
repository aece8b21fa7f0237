#pragma once

// Reads an AVI file back chunk by chunk, without libavformat, so that tests see what is
// really on disk.

#include <cstdint>
#include <string>
#include <vector>

namespace talmora::testing {

struct AviStreamHeader {
  std::string fccType, fccHandler;
  uint32_t dwFlags = 0, dwInitialFrames = 0, dwScale = 0, dwRate = 0, dwStart = 0, dwLength = 0;
  int32_t dwQuality = 0;
  uint32_t dwSampleSize = 0;
  int16_t rcFrame[4] = {};
};

struct AviChunk {
  uint64_t offset = 0;  // of the data, from the start of the file
  uint32_t size = 0;
};

struct AviIndexEntry {
  bool key = false;
  uint32_t size = 0;
};

struct AviLayout {
  std::string error;  // empty when every chunk fits its parent and the file ends with the last
  std::vector<std::string> riffs;  // form types in order: "AVI ", then "AVIX" …
  uint32_t usec_per_frame = 0, total_frames = 0, streams = 0, width = 0, height = 0;
  AviStreamHeader strh;
  std::vector<uint8_t> strf;
  std::string strn;  // without its terminating zero
  bool has_dmlh = false;
  uint32_t dmlh_frames = 0;
  std::vector<AviChunk> frames;            // the stream's chunks ("00dc"/"00db") in file order
  std::vector<AviIndexEntry> idx1;         // the legacy index (first RIFF only)
  std::vector<AviIndexEntry> odml_index;   // the OpenDML "ix00" entries, all RIFFs
};

AviLayout WalkAvi(const std::string& path);

// The bytes of one chunk's data.
std::vector<uint8_t> ReadChunk(const std::string& path, const AviChunk& chunk);

}  // namespace talmora::testing
