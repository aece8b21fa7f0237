#include "platform/movie/row_bands.h"

#include <algorithm>
#include <system_error>

namespace talmora {

namespace {

// Below this many rows a band costs more to hand to a thread than to convert.
constexpr int kMinBandRows = 64;

}  // namespace

RowBands::~RowBands() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  handed_.notify_all();
  for (std::thread& helper : helpers_) helper.join();
}

RowBands::RowBands(int most_bands)
    // glibc counts the cores by reading /sys on every call: once a movie, not once a frame.
    : most_bands_(std::max(1, std::min(static_cast<int>(std::thread::hardware_concurrency()), most_bands))) {}

void RowBands::ForEach(int rows, int align, const Work& work) {
  const int bands = std::clamp(rows / kMinBandRows, 1, most_bands_);
  if (bands == 1) {
    work(0, rows);
    return;
  }
  // Rounded up, so that no sliver of a band is left over for a thread of its own.
  const int step = ((rows + bands - 1) / bands + align - 1) / align * align;
  std::vector<std::pair<int, int>> handed;
  for (int first = step; first < rows; first += step) handed.emplace_back(first, std::min(first + step, rows));
  while (helpers_.size() < handed.size()) {
    try {
      // A helper started now waits for the call after the last one it could have seen.
      helpers_.emplace_back([this, index = helpers_.size(), seen = call_] { Help(index, seen); });
    } catch (const std::system_error&) {  // no thread to be had: its bands are done here
      break;
    }
  }
  // Bands beyond the helpers there are stay with the caller, after its own.
  std::vector<std::pair<int, int>> kept;
  if (handed.size() > helpers_.size()) {
    kept.assign(handed.begin() + static_cast<std::ptrdiff_t>(helpers_.size()), handed.end());
    handed.resize(helpers_.size());
  }
  {
    std::lock_guard lock(mutex_);
    work_ = &work;
    bands_ = std::move(handed);
    unfinished_ = bands_.size();
    ++call_;
  }
  handed_.notify_all();
  work(0, std::min(step, rows));
  for (const auto& [first, end] : kept) work(first, end);
  std::unique_lock lock(mutex_);
  finished_.wait(lock, [&] { return unfinished_ == 0; });
  work_ = nullptr;
}

void RowBands::Help(size_t index, uint64_t seen) {
  std::unique_lock lock(mutex_);
  for (;;) {
    handed_.wait(lock, [&] { return stopping_ || call_ != seen; });
    if (stopping_) return;
    seen = call_;
    if (index >= bands_.size()) continue;  // this call has fewer bands than there are helpers
    const Work& work = *work_;
    const auto [first, end] = bands_[index];
    lock.unlock();
    work(first, end);
    lock.lock();
    if (--unfinished_ == 0) finished_.notify_one();
  }
}

}  // namespace talmora
