#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace talmora {

// Rectangle in frame pixels; right and bottom are exclusive.
struct Rect {
  int32_t left = 0;
  int32_t top = 0;
  int32_t right = 0;
  int32_t bottom = 0;
};

// Frame pixels are 0xAARRGGBB words (A8R8G8B8; bytes B, G, R, A in memory), straight alpha,
// top row first, rows packed without padding, from a 64-byte boundary; bytes past the last row
// are there for libav to read and write (its vector code goes past a row's end), and are never
// part of the picture.
//
// A frame remembers, in blocks of kBlock pixels of a row, which pixels may differ from the colour
// it was last filled with, as long as it is written through Span. A frame that is drawn again
// over the same background then fills only the blocks drawn on last time (and each just before it
// is drawn on again, while it is in the cache), not all of itself.
class Frame {
 public:
  // Largest side accepted; beyond it Create fails instead of trying to allocate gigabytes.
  static constexpr int kMaxSide = 16384;
  static constexpr int kBlockShift = 5;
  static constexpr int kBlock = 1 << kBlockShift;

  // Empty when a side is not positive, too large, or the memory cannot be had.
  static std::unique_ptr<Frame> Create(int width, int height);

  int Width() const { return width_; }
  int Height() const { return height_; }
  const uint32_t* Row(int y) const { return pixels_.get() + static_cast<size_t>(y) * width_; }
  // A row written anyhow: the frame pays any background it owes and forgets which blocks are
  // plain background.
  uint32_t* Row(int y) {
    if (owing_) SettleBackground();
    known_ = false;
    return pixels_.get() + static_cast<size_t>(y) * width_;
  }
  // Pixels [begin, end) of row y (begin < end, within the row), about to be written; `overwrites`
  // when every one of them is to be replaced whatever it holds, so that the background owed in
  // the blocks they fill need not be filled first.
  uint32_t* Span(int y, int begin, int end, bool overwrites = false) {
    Touch(y, begin, end, overwrites);
    return pixels_.get() + static_cast<size_t>(y) * width_ + begin;
  }

  // Every pixel, all about to be replaced: top row first, Width() * 4 bytes a row.
  uint32_t* Whole();

  void Clear(uint32_t argb);
  // The frame is to be `argb` under what is written next. Nothing is filled yet: Span fills the
  // blocks it is given, SettleBackground the rest.
  void OweBackground(uint32_t argb);
  // What is written next covers every pixel: the background owed need not be filled.
  void ForgiveBackground();
  void SettleBackground();

  // Words of 64 blocks a row of that width; block b of a row is bit b % 64 of word b / 64.
  static constexpr size_t kMaxBlockWords = (kMaxSide / kBlock + 63) / 64;
  static size_t BlockWords(int width) { return (static_cast<size_t>(width + kBlock - 1) / kBlock + 63) / 64; }
  // The blocks of row y that may hold other pixels than the colour the frame was last filled with
  // (`*colour`); null when any may, as after a write through Row.
  const uint64_t* DrawnBlocks(int y, uint32_t* colour) const {
    if (!known_ || owing_) return nullptr;
    *colour = colour_;
    return drawn_.data() + static_cast<size_t>(y) * words_;
  }

 private:
  struct Release {
    void operator()(uint32_t* pixels) const;
  };
  using Pixels = std::unique_ptr<uint32_t[], Release>;
  Frame(int width, int height, Pixels pixels);

  void Touch(int y, int begin, int end, bool overwrites);
  void Fill(int y, size_t word, uint64_t blocks);

  int width_;
  int height_;
  Pixels pixels_;
  size_t words_;                 // of 64 blocks, in a row
  std::vector<uint64_t> drawn_;  // blocks that may not be the background colour
  std::vector<uint64_t> owed_;   // blocks still to be filled with it
  uint32_t colour_ = 0;
  bool known_ = false;  // drawn_ holds; else any pixel may be anything
  bool owing_ = false;
};

}  // namespace talmora
