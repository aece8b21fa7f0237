#pragma once

// Reads an AVI file back chunk by chunk, without libavformat, so that tests see what is
// really on disk.

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace talmora::testing {

struct AviChunk {
  uint64_t offset = 0;  // of the data, from the start of the file
  uint32_t size = 0;
};

struct AviStreamHeader {
  std::string fccType, fccHandler;
  uint32_t dwScale = 0, dwRate = 0, dwLength = 0;
  int32_t dwQuality = 0;
  std::vector<int> rcFrame;
  bool operator==(const AviStreamHeader&) const = default;
};

struct AviLayout {
  std::string error;               // empty when every chunk fits in its list
  uint32_t width = 0, height = 0;  // of the main header
  AviStreamHeader strh;
  std::string compression;         // strf's biCompression
  std::string strn;
  std::vector<AviChunk> frames;    // "00dc"/"00db" in file order
  std::vector<bool> idx1_keys;     // the legacy index, first RIFF only
};

// The bytes of one chunk's data; fewer where the file ends first.
inline std::vector<uint8_t> ReadChunk(const std::string& path, const AviChunk& chunk) {
  std::ifstream file(path, std::ios::binary);
  std::vector<uint8_t> data(chunk.size);
  file.seekg(static_cast<std::streamoff>(chunk.offset));
  file.read(reinterpret_cast<char*>(data.data()), chunk.size);
  data.resize(static_cast<size_t>(file.gcount()));
  return data;
}

namespace riff_detail {

// Little-endian; 0 past the end of `d`.
inline uint32_t Le(const std::vector<uint8_t>& d, size_t at, int bytes = 4) {
  uint32_t value = 0;
  for (int i = bytes - 1; i >= 0; --i) value = value << 8 | (at + i < d.size() ? d[at + i] : 0);
  return value;
}

inline std::string Tag(const std::vector<uint8_t>& d, size_t at) {
  return at + 4 <= d.size() ? std::string(d.begin() + at, d.begin() + at + 4) : "";
}

inline void Chunk(const std::string& path, const std::string& id, AviChunk chunk, const std::string& form,
                  AviLayout& avi) {
  if (form == "movi" && (id == "00dc" || id == "00db")) return avi.frames.push_back(chunk);
  const auto d = ReadChunk(path, chunk);
  const auto s16 = [&](size_t at) { return static_cast<int16_t>(Le(d, at, 2)); };
  if (id == "avih") avi.width = Le(d, 32), avi.height = Le(d, 36);
  if (id == "strh") {
    avi.strh = {Tag(d, 0), Tag(d, 4), Le(d, 20), Le(d, 24), Le(d, 32), static_cast<int32_t>(Le(d, 40)),
                {s16(48), s16(50), s16(52), s16(54)}};
  }
  if (id == "strf") avi.compression = Tag(d, 16);
  if (id == "strn") avi.strn.assign(d.begin(), std::find(d.begin(), d.end(), 0));
  for (size_t i = 0; id == "idx1" && i + 16 <= d.size(); i += 16) avi.idx1_keys.push_back(Le(d, i + 4) & 0x10);
}

// The chunks from `at` up to `end` in a list of type `form` (none for the file itself).
inline void List(const std::string& path, uint64_t at, uint64_t end, const std::string& form, AviLayout& avi) {
  while (at < end && avi.error.empty()) {
    const auto head = ReadChunk(path, {at, 12});
    const std::string id = Tag(head, 0), type = Tag(head, 8);
    const uint32_t size = Le(head, 4);
    if (head.size() < 8 || at + 8 + size > end || form.empty() != (id == "RIFF")) {
      avi.error = "chunk " + id + " at " + std::to_string(at) + " does not fit";
    } else if (id == "RIFF" || id == "LIST") {
      List(path, at + 12, at + 8 + size, type, avi);
    } else {
      Chunk(path, id, {at + 8, size}, form, avi);
    }
    at += 8 + size + (size & 1);
  }
}

}  // namespace riff_detail

inline AviLayout WalkAvi(const std::string& path) {
  AviLayout avi;
  std::error_code missing;
  riff_detail::List(path, 0, std::filesystem::file_size(path, missing), "", avi);
  if (missing) avi.error = "no file";
  return avi;
}

}  // namespace talmora::testing
