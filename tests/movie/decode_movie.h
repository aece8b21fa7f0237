#pragma once

// Decodes a written movie back with libavformat and libavcodec, as players will.

#include <cstdint>
#include <string>
#include <vector>

namespace talmora::testing {

struct DecodedFrame {
  std::vector<uint32_t> pixels;  // 0xAARRGGBB, top row first
  bool key = false;              // as the bitstream says
};

struct DecodedMovie {
  bool ok = false;
  std::string codec;             // the decoder's name
  bool has_alpha = false;        // the decoded pixel format carries alpha
  int width = 0, height = 0;
  std::vector<DecodedFrame> frames;
};

DecodedMovie DecodeMovie(const std::string& path);

}  // namespace talmora::testing
