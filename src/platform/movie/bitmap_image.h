#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "platform/render/frame.h"

namespace talmora {

// The 40-byte info header at byte 14 of a BMP file image; it is also the video stream's format.
struct BitmapInfoHeader {
  static constexpr size_t kSize = 40;

  uint32_t biSize = kSize;
  int32_t biWidth = 0;
  int32_t biHeight = 0;  // positive: rows bottom-up
  uint16_t biPlanes = 1;
  uint16_t biBitCount = 32;
  uint32_t biCompression = 0;  // BI_RGB
  uint32_t biSizeImage = 0;
  int32_t biXPelsPerMeter = 0;
  int32_t biYPelsPerMeter = 0;
  uint32_t biClrUsed = 0;
  uint32_t biClrImportant = 0;

  // Little-endian, as stored in files.
  static BitmapInfoHeader Read(std::span<const uint8_t, kSize> bytes);
  void Write(std::span<uint8_t, kSize> bytes) const;

  // 32-bit BI_RGB bottom-up frames of a usable size: what every compressor is offered.
  bool IsFrameFormat() const;
  size_t FrameDataSize() const;
};

// A frame encoded as a BMP file: 14-byte file header, info header, then the pixel rows from
// byte 54, bottom row first, 4 bytes a pixel (B, G, R, A). The storage is reused frame to frame.
class BitmapImage {
 public:
  static constexpr size_t kFileHeaderSize = 14;
  static constexpr size_t kPixelOffset = kFileHeaderSize + BitmapInfoHeader::kSize;

  // False (and empty) when the image memory cannot be had.
  bool Encode(const Frame& frame);

  std::span<const uint8_t> Bytes() const { return bytes_; }
  // Only valid after a successful Encode.
  BitmapInfoHeader InfoHeader() const;
  std::span<const uint8_t> FrameData() const { return Bytes().subspan(kPixelOffset); }

 private:
  std::vector<uint8_t> bytes_;
};

}  // namespace talmora
