#pragma once

// Picture files for the tests, made with the ffmpeg command from a PAM file written here.

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

extern "C" {
#include <libavutil/crc.h>
#include <libavutil/log.h>
}

#include "support/cli_harness.h"

namespace talmora {

// Converts a picture with the ffmpeg command; `options` go between input and output.
inline bool Convert(const std::string& from, const std::string& to, const std::string& options = "") {
  return testing::Ffmpeg("-i '" + from + "' " + options + " '" + to + "'") && std::filesystem::exists(to);
}

// Writes straight-alpha 0xAARRGGBB pixels as a PAM file, which ffmpeg converts into others.
inline void WritePam(const std::string& path, int width, int height, const std::vector<uint32_t>& pixels) {
  std::string pam = "P7\nWIDTH " + std::to_string(width) + "\nHEIGHT " + std::to_string(height) +
                    "\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n";
  for (const uint32_t p : pixels) pam += {char(p >> 16), char(p >> 8), char(p), char(p >> 24)};
  std::ofstream(path, std::ios::binary) << pam;
}

inline bool WritePng(const std::string& path, int width, int height, const std::vector<uint32_t>& pixels) {
  WritePam(path + ".pam", width, height, pixels);
  return Convert(path + ".pam", path);
}

// A PNG file's bytes with the header changed to claim another size, checksum mended.
inline std::string ClaimPngSize(std::string png, uint32_t width, uint32_t height) {
  auto put = [&png](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) png[at + i] = static_cast<char>(v >> (24 - 8 * i));
  };
  put(16, width);
  put(20, height);
  const auto* chunk = reinterpret_cast<const uint8_t*>(png.data()) + 12;  // "IHDR" and its 13 bytes
  put(29, av_crc(av_crc_get_table(AV_CRC_32_IEEE_LE), ~0u, chunk, 17) ^ ~0u);
  return png;
}

}  // namespace talmora
