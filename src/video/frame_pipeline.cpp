#include "video/frame_pipeline.h"

#include <algorithm>
#include <system_error>

namespace talmora {

FramePipeline::FramePipeline(std::unique_ptr<Frame> frame, bool overlapped, Preparer prepare, Sender send,
                             Repeater repeat)
    : frame_(std::move(frame)), prepare_(std::move(prepare)), send_(std::move(send)), repeat_(std::move(repeat)) {
  if (!overlapped) return;
  overlapped_ = true;  // before the worker starts, so that it reads it unraced
  try {
    worker_ = std::thread([this] { Work(); });
  } catch (const std::system_error&) {
    overlapped_ = false;  // then every frame is sent inline
  }
}

FramePipeline::~FramePipeline() { Finish(); }

bool FramePipeline::Submit(int64_t index) {
  uint64_t order = 0;
  bool failed_before = false;
  {
    std::lock_guard lock(mutex_);
    order = submitted_;
    failed_before = failed_at_ != UINT64_MAX;
  }
  // Once a frame has failed, the rest are not even prepared.
  const bool prepared = !failed_before && prepare_(*frame_);
  {
    std::lock_guard lock(mutex_);
    if (!prepared) failed_at_ = std::min(failed_at_, order);
    indices_[order % 2] = index;
    submitted_ = order + 1;
  }
  if (!overlapped_) {
    // Inline: this frame is sent at once, and its failure shows at the next call, as it would
    // with the worker.
    const bool written = prepared && send_(index);
    std::lock_guard lock(mutex_);
    if (!written) failed_at_ = std::min(failed_at_, order);
    sent_ = order + 1;
    return failed_at_ >= order;
  }
  changed_.notify_all();
  return AwaitSent(order);
}

bool FramePipeline::Repeat(int64_t index) {
  uint64_t order = 0;
  {
    std::lock_guard lock(mutex_);
    order = submitted_;
  }
  const bool before = AwaitSent(order);
  // The worker waits for a frame meanwhile: what `repeat_` touches is this thread's until the
  // next Submit. Like a submitted frame, a failure here shows at the next call.
  const bool written = before && repeat_ && repeat_(index);
  std::lock_guard lock(mutex_);
  if (!written) failed_at_ = std::min(failed_at_, order);
  submitted_ = sent_ = order + 1;
  return before;
}

bool FramePipeline::Finish() {
  {
    std::lock_guard lock(mutex_);
    finishing_ = true;
  }
  changed_.notify_all();
  if (worker_.joinable()) worker_.join();
  std::lock_guard lock(mutex_);
  return failed_at_ == UINT64_MAX;
}

bool FramePipeline::AwaitSent(uint64_t count) {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [&] { return sent_ >= count; });
  return failed_at_ >= count;
}

void FramePipeline::Work() {
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock, [&] { return finishing_ || sent_ < submitted_; });
    if (sent_ == submitted_) return;
    const uint64_t at = sent_;
    const int64_t index = indices_[at % 2];
    // A frame that failed, or any after it, is not sent: one that failed to be prepared left
    // nothing to send.
    const bool dropped = failed_at_ <= at;
    lock.unlock();
    const bool written = !dropped && send_(index);
    lock.lock();
    if (!written) failed_at_ = std::min(failed_at_, at);
    sent_ = at + 1;
    changed_.notify_all();
  }
}

}  // namespace talmora
