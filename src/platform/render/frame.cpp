#include "platform/render/frame.h"

#include <algorithm>
#include <new>

namespace talmora {

namespace {

// libav's scalers read and write whole vectors, past the last row's end; this much more is theirs,
// as libav pads its own buffers.
constexpr size_t kPadding = 64 / sizeof(uint32_t);
constexpr std::align_val_t kAlignment{64};

// Blocks first to last of the 64 in `word`.
uint64_t BlockMask(size_t word, int first, int last) {
  const int lo = std::max(first - static_cast<int>(word * 64), 0);
  const int hi = std::min(last - static_cast<int>(word * 64), 63);
  if (hi < lo) return 0;
  return (hi == 63 ? ~uint64_t{0} : (uint64_t{1} << (hi + 1)) - 1) & ~((uint64_t{1} << lo) - 1);
}

}  // namespace

std::unique_ptr<Frame> Frame::Create(int width, int height) {
  if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide) return nullptr;
  const size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
  Pixels pixels(static_cast<uint32_t*>(::operator new[]((count + kPadding) * sizeof(uint32_t), kAlignment, std::nothrow)));
  if (!pixels) return nullptr;
  std::fill_n(pixels.get() + count, kPadding, 0u);
  try {
    return std::unique_ptr<Frame>(new Frame(width, height, std::move(pixels)));
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

void Frame::Release::operator()(uint32_t* pixels) const { ::operator delete[](pixels, kAlignment); }

Frame::Frame(int width, int height, Pixels pixels)
    : width_(width),
      height_(height),
      pixels_(std::move(pixels)),
      words_(BlockWords(width)),
      drawn_(words_ * static_cast<size_t>(height)),
      owed_(words_ * static_cast<size_t>(height)) {}

uint32_t* Frame::Whole() {
  ForgiveBackground();
  std::fill(drawn_.begin(), drawn_.end(), ~uint64_t{0});
  return pixels_.get();
}

void Frame::Clear(uint32_t argb) {
  std::fill_n(pixels_.get(), static_cast<size_t>(width_) * height_, argb);
  std::fill(drawn_.begin(), drawn_.end(), 0);
  std::fill(owed_.begin(), owed_.end(), 0);
  colour_ = argb;
  known_ = true;
  owing_ = false;
}

void Frame::OweBackground(uint32_t argb) {
  if (owing_) SettleBackground();
  if (known_ && colour_ == argb) {
    owed_.swap(drawn_);
  } else {
    std::fill(owed_.begin(), owed_.end(), ~uint64_t{0});
  }
  std::fill(drawn_.begin(), drawn_.end(), 0);
  colour_ = argb;
  known_ = true;
  owing_ = true;
}

void Frame::ForgiveBackground() {
  if (!owing_) return;
  std::fill(owed_.begin(), owed_.end(), 0);
  owing_ = false;
}

void Frame::SettleBackground() {
  if (!owing_) return;
  owing_ = false;
  for (int y = 0; y < height_; ++y) {
    uint64_t* owed = owed_.data() + static_cast<size_t>(y) * words_;
    for (size_t w = 0; w < words_; ++w) {
      if (owed[w]) Fill(y, w, owed[w]);
      owed[w] = 0;
    }
  }
}

void Frame::Touch(int y, int begin, int end, bool overwrites) {
  const int first = begin >> kBlockShift, last = (end - 1) >> kBlockShift;
  // The blocks the span fills from edge to edge (the last may end at the row's end).
  const int whole_first = (begin + kBlock - 1) >> kBlockShift;
  const int whole_last = (end == width_ ? end + kBlock - 1 : end) / kBlock - 1;
  const size_t row = static_cast<size_t>(y) * words_;
  for (size_t w = static_cast<size_t>(first) / 64; w <= static_cast<size_t>(last) / 64; ++w) {
    const uint64_t mask = BlockMask(w, first, last);
    drawn_[row + w] |= mask;
    if (!owing_) continue;
    const uint64_t replaced = overwrites && whole_first <= whole_last ? BlockMask(w, whole_first, whole_last) : 0;
    if (const uint64_t pay = owed_[row + w] & mask & ~replaced) {
      Fill(y, w, pay);
    }
    owed_[row + w] &= ~mask;
  }
}

void Frame::Fill(int y, size_t word, uint64_t blocks) {
  uint32_t* row = pixels_.get() + static_cast<size_t>(y) * width_;
  while (blocks) {
    // One run of neighbouring blocks at a time.
    const int first = __builtin_ctzll(blocks);
    const uint64_t from_first = blocks >> first;
    const int run = from_first == ~uint64_t{0} >> first ? 64 - first : __builtin_ctzll(~from_first);
    const size_t begin = (word * 64 + static_cast<size_t>(first)) * kBlock;
    const size_t end = std::min((word * 64 + static_cast<size_t>(first + run)) * kBlock, static_cast<size_t>(width_));
    if (begin < end) std::fill(row + begin, row + end, colour_);
    blocks = run == 64 ? 0 : blocks & ~(((uint64_t{1} << run) - 1) << first);
  }
}

}  // namespace talmora
