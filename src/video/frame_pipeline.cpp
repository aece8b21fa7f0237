#include "video/frame_pipeline.h"

#include <algorithm>
#include <system_error>

namespace talmora {

FramePipeline::FramePipeline(std::unique_ptr<Frame> first, std::unique_ptr<Frame> second, Consumer consume,
                             Repeater repeat)
    : slots_{{std::move(first)}, {std::move(second)}}, consume_(std::move(consume)), repeat_(std::move(repeat)) {
  if (!slots_[1].frame) return;
  overlapped_ = true;  // before the worker starts, so that it reads it unraced
  try {
    worker_ = std::thread([this] { Work(); });
  } catch (const std::system_error&) {
    overlapped_ = false;  // then every frame is consumed inline, in the first frame
  }
}

FramePipeline::~FramePipeline() { Finish(); }

size_t FramePipeline::Slot(uint64_t order) const { return overlapped_ ? order % 2 : 0; }

Frame& FramePipeline::Next() {
  // The worker may still hold the frame two back only until it is consumed.
  std::unique_lock lock(mutex_);
  const uint64_t next = submitted_;
  changed_.wait(lock, [&] { return consumed_ + 1 >= next; });
  return *slots_[Slot(next)].frame;
}

bool FramePipeline::Submit(int64_t index) {
  uint64_t submitted = 0;
  {
    std::lock_guard lock(mutex_);
    slots_[Slot(submitted_)].index = index;
    submitted = ++submitted_;
  }
  if (!overlapped_) {
    // Inline: this frame is consumed at once, and its failure shows at the next call, as it would
    // with the worker.
    const bool written = failed_at_ == UINT64_MAX && consume_(index, *slots_[0].frame);
    if (!written) failed_at_ = std::min(failed_at_, submitted - 1);
    consumed_ = submitted;
    return failed_at_ >= submitted - 1;
  }
  changed_.notify_all();
  return AwaitConsumed(submitted - 1);
}

bool FramePipeline::Repeat(int64_t index) {
  uint64_t order = 0;
  {
    std::lock_guard lock(mutex_);
    order = submitted_;
  }
  const bool before = AwaitConsumed(order);
  // The worker waits for a frame meanwhile: what `repeat_` touches is this thread's until the
  // next Submit. Like a submitted frame, a failure here shows at the next call.
  const bool written = before && repeat_ && repeat_(index);
  std::lock_guard lock(mutex_);
  if (!written) failed_at_ = std::min(failed_at_, order);
  submitted_ = consumed_ = order + 1;
  return before;
}

bool FramePipeline::Finish() {
  {
    std::lock_guard lock(mutex_);
    finishing_ = true;
  }
  changed_.notify_all();
  if (worker_.joinable()) worker_.join();
  return failed_at_ == UINT64_MAX;
}

bool FramePipeline::AwaitConsumed(uint64_t count) {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [&] { return consumed_ >= count; });
  return failed_at_ >= count;
}

void FramePipeline::Work() {
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock, [&] { return finishing_ || consumed_ < submitted_; });
    if (consumed_ == submitted_) return;
    const uint64_t at = consumed_;
    const Turn& slot = slots_[Slot(at)];
    const bool dropped = failed_at_ != UINT64_MAX;
    lock.unlock();
    const bool written = !dropped && consume_(slot.index, *slot.frame);
    lock.lock();
    if (!written) failed_at_ = std::min(failed_at_, at);
    consumed_ = at + 1;
    changed_.notify_all();
  }
}

}  // namespace talmora
