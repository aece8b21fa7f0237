#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "platform/movie/bitmap_image.h"
#include "platform/movie/compressor_catalog.h"
#include "platform/movie/libav_handles.h"
#include "platform/movie/packet_sink.h"

namespace talmora {

// Compresses frame data (the bottom-up BGRA rows of a frame's BMP image) into the packets of
// one compressor, counted in frames. Uncompressed frames ("DIB ") pass through as key frames.
class FrameCompressor {
 public:
  // Whether the encoder is there and takes this size, rate and settings.
  static bool Accepts(const CompressorInfo& info, const CompressorSettings& settings, int width, int height, int fps);
  // Empty when it does not, or the memory cannot be had.
  static std::unique_ptr<FrameCompressor> Open(const CompressorInfo& info, const CompressorSettings& settings,
                                               int width, int height, int fps);

  // The stream's parameters for the file: codec, four-character code, size, private header.
  bool FillParameters(AVCodecParameters& parameters) const;

  // `frame_data` must hold exactly width × height pixels.
  bool Compress(int64_t index, std::span<const uint8_t> frame_data, PacketSink& sink);
  // Hands over the packets the encoder still holds; nothing can be compressed after it.
  bool Flush(PacketSink& sink);

 private:
  FrameCompressor(const CompressorInfo& info, int width, int height)
      : info_(info), width_(width), height_(height) {}
  bool Drain(PacketSink& sink);

  const CompressorInfo& info_;
  int width_;
  int height_;
  CodecContextPtr encoder_;  // null for uncompressed frames
  SwsPtr converter_;
  AvFramePtr picture_;
  PacketPtr packet_;
};

// The compressors offered for frames of this format and rate: present, and opening for them.
std::vector<const CompressorInfo*> OfferedCompressors(const BitmapInfoHeader& format, int fps);

}  // namespace talmora
