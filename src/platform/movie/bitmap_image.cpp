#include "platform/movie/bitmap_image.h"

#include <bit>
#include <cstring>
#include <new>

namespace talmora {

namespace {

static_assert(std::endian::native == std::endian::little,
              "frame words are copied into BMP rows byte for byte");

uint32_t GetLe(const uint8_t* p, int bytes) {
  uint32_t value = 0;
  for (int i = bytes - 1; i >= 0; --i) value = value << 8 | p[i];
  return value;
}

void PutLe(uint8_t* p, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i, value >>= 8) p[i] = static_cast<uint8_t>(value);
}

}  // namespace

BitmapInfoHeader BitmapInfoHeader::Read(std::span<const uint8_t, kSize> bytes) {
  const uint8_t* p = bytes.data();
  BitmapInfoHeader h;
  h.biSize = GetLe(p, 4);
  h.biWidth = static_cast<int32_t>(GetLe(p + 4, 4));
  h.biHeight = static_cast<int32_t>(GetLe(p + 8, 4));
  h.biPlanes = static_cast<uint16_t>(GetLe(p + 12, 2));
  h.biBitCount = static_cast<uint16_t>(GetLe(p + 14, 2));
  h.biCompression = GetLe(p + 16, 4);
  h.biSizeImage = GetLe(p + 20, 4);
  h.biXPelsPerMeter = static_cast<int32_t>(GetLe(p + 24, 4));
  h.biYPelsPerMeter = static_cast<int32_t>(GetLe(p + 28, 4));
  h.biClrUsed = GetLe(p + 32, 4);
  h.biClrImportant = GetLe(p + 36, 4);
  return h;
}

void BitmapInfoHeader::Write(std::span<uint8_t, kSize> bytes) const {
  uint8_t* p = bytes.data();
  PutLe(p, biSize, 4);
  PutLe(p + 4, static_cast<uint32_t>(biWidth), 4);
  PutLe(p + 8, static_cast<uint32_t>(biHeight), 4);
  PutLe(p + 12, biPlanes, 2);
  PutLe(p + 14, biBitCount, 2);
  PutLe(p + 16, biCompression, 4);
  PutLe(p + 20, biSizeImage, 4);
  PutLe(p + 24, static_cast<uint32_t>(biXPelsPerMeter), 4);
  PutLe(p + 28, static_cast<uint32_t>(biYPelsPerMeter), 4);
  PutLe(p + 32, biClrUsed, 4);
  PutLe(p + 36, biClrImportant, 4);
}

bool BitmapInfoHeader::IsFrameFormat() const {
  return biSize == kSize && biPlanes == 1 && biBitCount == 32 && biCompression == 0 &&
         biWidth > 0 && biHeight > 0 && biWidth <= Frame::kMaxSide && biHeight <= Frame::kMaxSide;
}

size_t BitmapInfoHeader::FrameDataSize() const {
  return static_cast<size_t>(biWidth) * static_cast<size_t>(biHeight) * 4;
}

bool BitmapImage::Encode(const Frame& frame) {
  BitmapInfoHeader info;
  info.biWidth = frame.Width();
  info.biHeight = frame.Height();
  const size_t row_bytes = static_cast<size_t>(frame.Width()) * 4;
  const size_t data_size = info.FrameDataSize();
  info.biSizeImage = static_cast<uint32_t>(data_size);
  try {
    bytes_.resize(kPixelOffset + data_size);
  } catch (const std::bad_alloc&) {
    bytes_ = {};
    return false;
  }

  uint8_t* p = bytes_.data();
  p[0] = 'B';
  p[1] = 'M';
  PutLe(p + 2, static_cast<uint32_t>(bytes_.size()), 4);
  PutLe(p + 6, 0, 4);
  PutLe(p + 10, kPixelOffset, 4);
  info.Write(std::span<uint8_t, BitmapInfoHeader::kSize>(p + kFileHeaderSize, BitmapInfoHeader::kSize));

  uint8_t* row = p + kPixelOffset;
  for (int y = frame.Height() - 1; y >= 0; --y, row += row_bytes) {
    std::memcpy(row, frame.Row(y), row_bytes);
  }
  return true;
}

BitmapInfoHeader BitmapImage::InfoHeader() const {
  return BitmapInfoHeader::Read(
      std::span<const uint8_t, BitmapInfoHeader::kSize>(bytes_.data() + kFileHeaderSize, BitmapInfoHeader::kSize));
}

}  // namespace talmora
