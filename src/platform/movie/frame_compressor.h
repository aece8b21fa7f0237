#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
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
  // Compress in two halves, for a caller that converts each frame on its own thread while another
  // thread sends the ones converted: Convert takes the frame's pixels into a picture of the
  // compressor's (the frame is free again when it returns), Send compresses the oldest picture
  // converted as frame `index`. One thread may convert while another sends; Repeat and Flush only
  // once every picture converted is sent.
  bool Convert(const Frame& frame);
  bool Send(int64_t index, PacketSink& sink);
  // Frame `index` as the same picture as the frame before it, which was compressed or repeated:
  // where frames stand alone its packet again, else the converted picture encoded again. Either
  // gives the bytes compressing the same frame again would.
  bool Repeat(int64_t index, PacketSink& sink);
  // Hands over the packets the encoder still holds; nothing can be compressed after it.
  bool Flush(PacketSink& sink);

 private:
  FrameCompressor(int width, int height, int fps)
      : width_(width), height_(height), time_base_{1, fps > 0 ? fps : 1} {}
  // A frame converted: an encoder's picture, or uncompressed rows bottom-up; for each pair of rows,
  // the blocks of the picture that hold the conversion of a frame's background, `colour`: a frame
  // with that background there need not be converted again.
  struct Picture {
    FramePtr frame;
    std::vector<uint8_t> rows;
    std::vector<uint64_t> converted;
    uint32_t colour = 0;
  };
  size_t ConvertedWords() const { return static_cast<size_t>((height_ + 1) / 2) * Frame::BlockWords(width_); }
  // One the encoder no longer reads, or a new one; null when no memory can be had.
  std::unique_ptr<Picture> TakeWritablePicture();
  // Rows first_row to end_row into the picture, but for the blocks of pixels in which both the
  // frame and the picture hold the background they held last time.
  void ConvertChanged(const Frame& frame, YuvRange range, Picture& picture, int first_row, int end_row);
  // Uncompressed rows as frame `index`.
  bool WriteRows(const std::vector<uint8_t>& rows, int64_t index, PacketSink& sink);
  bool Drain(PacketSink& sink);
  // The last packet written again as frame `index`.
  bool WriteAgain(int64_t index, PacketSink& sink);

  int width_;
  int height_;
  AVRational time_base_;
  CodecContextPtr encoder_;  // null for uncompressed frames
  SwsPtr converter_;
  // The converting thread's: pictures not converted into, some perhaps still read by the encoder
  // (one working on several frames at once holds a few).
  std::vector<std::unique_ptr<Picture>> free_;
  // The conversion's helper threads, kept from frame to frame. The compressor works on the frame
  // before meanwhile: a core is left to it.
  RowBands bands_{static_cast<int>(std::thread::hardware_concurrency()) - 1};
  // Between the two threads, under `handover_`: pictures converted and not yet sent, in order,
  // and pictures sent, for the converting thread to take back; the last one sent, for Repeat.
  std::mutex handover_;
  std::deque<std::unique_ptr<Picture>> converted_;
  std::vector<std::unique_ptr<Picture>> sent_;
  Picture* last_sent_ = nullptr;
  // The sending thread's from here on.
  PacketPtr packet_;
  // Where every frame stands alone and the picture alone decides its bytes, a repeated frame
  // is the last packet again; repeats asked for before their frame's packet came out wait.
  bool stands_alone_ = false;
  PacketPtr last_;
  int64_t last_index_ = -1;
  std::deque<int64_t> waiting_;
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
