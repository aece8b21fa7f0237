#pragma once

// Reads an AVI file back chunk by chunk, without libavformat, so that tests see what is
// really on disk.

#include <cstdint>
#include <cstring>
#include <fstream>
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

namespace riff_detail {

inline uint32_t Le32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24; }
inline int16_t Le16(const uint8_t* p) { return static_cast<int16_t>(p[0] | p[1] << 8); }
inline std::string Tag(const uint8_t* p) { return std::string(reinterpret_cast<const char*>(p), 4); }

class Walker {
 public:
  Walker(const std::string& path, AviLayout& layout) : file_(path, std::ios::binary), layout_(layout) {}

  void Run() {
    if (!file_) return Fail("cannot open");
    file_.seekg(0, std::ios::end);
    const uint64_t end = static_cast<uint64_t>(file_.tellg());
    uint64_t at = 0;
    while (at < end && layout_.error.empty()) {
      uint8_t head[12];
      if (!Read(at, head, 12) || Tag(head) != "RIFF") return Fail("expected RIFF at " + std::to_string(at));
      const uint64_t size = Le32(head + 4);
      if (at + 8 + size > end) return Fail("RIFF past the end of the file");
      layout_.riffs.push_back(Tag(head + 8));
      List(at + 12, at + 8 + size, Tag(head + 8));
      at += 8 + size + (size & 1);
    }
    if (layout_.error.empty() && at != end) Fail("bytes after the last RIFF");
  }

 private:
  void Fail(const std::string& why) {
    if (layout_.error.empty()) layout_.error = why;
  }

  bool Read(uint64_t at, uint8_t* out, size_t n) {
    file_.clear();
    file_.seekg(static_cast<std::streamoff>(at));
    return static_cast<bool>(file_.read(reinterpret_cast<char*>(out), static_cast<std::streamsize>(n)));
  }

  std::vector<uint8_t> Data(uint64_t at, uint32_t size) {
    std::vector<uint8_t> data(size);
    if (size && !Read(at, data.data(), size)) Fail("short chunk");
    return data;
  }

  // The children of a RIFF or LIST whose form type is `form`, from `at` up to `end`.
  void List(uint64_t at, uint64_t end, const std::string& form) {
    while (at < end && layout_.error.empty()) {
      uint8_t head[12];
      if (at + 8 > end || !Read(at, head, 8)) return Fail("chunk header past its list");
      const std::string id = Tag(head);
      const uint32_t size = Le32(head + 4);
      if (at + 8 + size > end) return Fail(id + " past its list in " + form);
      if (id == "LIST") {
        if (size < 4 || !Read(at + 8, head + 8, 4)) return Fail("LIST without a type");
        List(at + 12, at + 8 + size, Tag(head + 8));
      } else {
        Chunk(id, at + 8, size, form);
      }
      at += 8 + size + (size & 1);
    }
    if (at > end + 1) Fail("padding past its list");
  }

  void Chunk(const std::string& id, uint64_t at, uint32_t size, const std::string& form) {
    if (id == "avih" && size >= 40) {
      const auto d = Data(at, size);
      layout_.usec_per_frame = Le32(&d[0]);
      layout_.total_frames = Le32(&d[16]);
      layout_.streams = Le32(&d[24]);
      layout_.width = Le32(&d[32]);
      layout_.height = Le32(&d[36]);
    } else if (id == "strh" && size >= 56) {
      const auto d = Data(at, size);
      AviStreamHeader& h = layout_.strh;
      h.fccType = Tag(&d[0]);
      h.fccHandler = Tag(&d[4]);
      h.dwFlags = Le32(&d[8]);
      h.dwInitialFrames = Le32(&d[16]);
      h.dwScale = Le32(&d[20]);
      h.dwRate = Le32(&d[24]);
      h.dwStart = Le32(&d[28]);
      h.dwLength = Le32(&d[32]);
      h.dwQuality = static_cast<int32_t>(Le32(&d[40]));
      h.dwSampleSize = Le32(&d[44]);
      for (int i = 0; i < 4; ++i) h.rcFrame[i] = Le16(&d[48 + 2 * i]);
    } else if (id == "strf") {
      layout_.strf = Data(at, size);
    } else if (id == "strn") {
      const auto d = Data(at, size);
      layout_.strn.assign(d.begin(), d.end());
      layout_.strn.resize(std::strlen(layout_.strn.c_str()));
    } else if (id == "dmlh" && size >= 4) {
      layout_.has_dmlh = true;
      layout_.dmlh_frames = Le32(Data(at, 4).data());
    } else if (id == "idx1") {
      const auto d = Data(at, size);
      for (size_t i = 0; i + 16 <= d.size(); i += 16) {
        if (Tag(&d[i]).substr(0, 2) == "00") layout_.idx1.push_back({(Le32(&d[i + 4]) & 0x10) != 0, Le32(&d[i + 12])});
      }
    } else if (id == "ix00") {
      const auto d = Data(at, size);
      const uint32_t entries = Le32(&d[4]);
      for (uint32_t i = 0; i < entries && 24 + 8 * i + 8 <= d.size(); ++i) {
        const uint32_t word = Le32(&d[24 + 8 * i + 4]);
        layout_.odml_index.push_back({(word & 0x80000000u) == 0, word & 0x7fffffffu});
      }
    } else if (form == "movi" && (id == "00dc" || id == "00db")) {
      layout_.frames.push_back({at, size});
    }
  }

  std::ifstream file_;
  AviLayout& layout_;
};

}  // namespace riff_detail

inline AviLayout WalkAvi(const std::string& path) {
  AviLayout layout;
  riff_detail::Walker(path, layout).Run();
  return layout;
}

// The bytes of one chunk's data.
inline std::vector<uint8_t> ReadChunk(const std::string& path, const AviChunk& chunk) {
  std::ifstream file(path, std::ios::binary);
  std::vector<uint8_t> data(chunk.size);
  file.seekg(static_cast<std::streamoff>(chunk.offset));
  file.read(reinterpret_cast<char*>(data.data()), chunk.size);
  return data;
}

}  // namespace talmora::testing
