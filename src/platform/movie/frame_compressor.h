#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

#include "platform/libav_handles.h"
#include "platform/movie/bgra_to_yuv420.h"
#include "platform/movie/compressor_catalog.h"
#include "platform/movie/packet_sink.h"
#include "platform/movie/row_bands.h"
#include "platform/render/frame.h"

namespace talmora {

// Compresses frames into the packets of one compressor, counted in frames. Uncompressed frames
// ("DIB ") pass as key frames of bottom-up rows.
class FrameCompressor {
 public:
  // Whether the encoder is there and takes this size, rate and settings.
  static bool Accepts(const CompressorInfo& info, const CompressorSettings& settings, int width, int height, int fps);
  // Empty when it does not, or the memory cannot be had.
  static std::unique_ptr<FrameCompressor> Open(const CompressorInfo& info, const CompressorSettings& settings,
                                               int width, int height, int fps);

  // The stream's parameters for the file: codec, size, private header.
  bool FillParameters(AVCodecParameters& parameters) const;
  // What the packets' times count: one frame.
  AVRational TimeBase() const { return time_base_; }

  // The frame must have the size the compressor was opened for.
  bool Compress(int64_t index, const Frame& frame, PacketSink& sink);
  // Frame `index` as the same picture as the frame before it, which was compressed or repeated:
  // where frames stand alone its packet again, else the converted picture encoded again. Either
  // gives the bytes compressing the same frame again would.
  bool Repeat(int64_t index, PacketSink& sink);
  // Hands over the packets the encoder still holds; nothing can be compressed after it.
  bool Flush(PacketSink& sink);

 private:
  FrameCompressor(int width, int height, int fps)
      : width_(width), height_(height), time_base_{1, fps > 0 ? fps : 1} {}
  bool PassUncompressed(int64_t index, const Frame& frame, PacketSink& sink);
  // Rows first_row to end_row into the picture, but for the blocks of pixels in which both the
  // frame and the picture hold the background they held last time.
  void ConvertChanged(const Frame& frame, YuvRange range, int first_row, int end_row);
  // The uncompressed rows held as frame `index`.
  bool WriteRows(int64_t index, PacketSink& sink);
  bool Drain(PacketSink& sink);
  // The last packet written again as frame `index`.
  bool WriteAgain(int64_t index, PacketSink& sink);

  int width_;
  int height_;
  AVRational time_base_;
  std::vector<uint8_t> rows_;  // uncompressed frames: the rows bottom-up
  CodecContextPtr encoder_;  // null for uncompressed frames
  SwsPtr converter_;
  FramePtr picture_;
  // For each pair of rows, the blocks of the picture that hold the conversion of a frame's
  // background, `converted_colour_`: a frame with that background there need not be converted.
  std::vector<uint64_t> converted_;
  uint32_t converted_colour_ = 0;
  // Pictures an encoder working on several frames at once still held, with what they hold: one it
  // has let go is converted into again, where the blocks that hold the background stay.
  struct Spare {
    FramePtr picture;
    std::vector<uint64_t> converted;
    uint32_t colour = 0;
  };
  std::vector<Spare> spares_;
  bool TakeWritablePicture();
  PacketPtr packet_;
  // Where every frame stands alone and the picture alone decides its bytes, a repeated frame
  // is the last packet again; repeats asked for before their frame's packet came out wait.
  bool stands_alone_ = false;
  PacketPtr last_;
  int64_t last_index_ = -1;
  std::deque<int64_t> waiting_;
  RowBands bands_;  // the conversion's helper threads, kept from frame to frame
};

// The encoder a FrameCompressor opens for this size and rate, with the settings and threads
// applied; empty when it refuses. Apart for the benchmark that times the encoder alone.
CodecContextPtr OpenEncoder(const CompressorInfo& info, const CompressorSettings& settings, int width, int height,
                            int fps);

// A writable picture of the encoder's size and format, its rows laid out as the encoder lays out
// its own, so that an encoder that can take it in place does. Apart for the benchmark, whose
// pictures must cost the encoder what talmora's do.
bool GetEncoderPicture(AVFrame& picture, AVCodecContext& encoder);

// The compressors offered for frames of this size and rate: present, and opening for them.
std::vector<const CompressorInfo*> OfferedCompressors(int width, int height, int fps);

}  // namespace talmora
