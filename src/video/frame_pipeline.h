#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/render/frame.h"

namespace talmora {

// Frames drawn and prepared (converted) on the caller's thread while a worker sends the one before
// (compression and writing): the frame drawn is free again once prepared, so one frame does, and
// it stays in the caller's cache from frame to frame. Frames are sent in the order they are
// submitted; after one fails, the rest are dropped unsent, so nothing is written after a failed
// frame.
//
// Ownership, which is what keeps the two threads apart: the frame and `prepare` belong to the
// caller; `send` and everything it touches belong to the worker from the first Submit until Finish
// returns, but for what `prepare` hands it, which the two must pass under a lock of their own.
// The counters below are only read or written under `mutex_`.
class FramePipeline {
 public:
  using Preparer = std::function<bool(const Frame& frame)>;
  using Sender = std::function<bool(int64_t index)>;
  using Repeater = std::function<bool(int64_t index)>;

  // Not `overlapped` (or without a thread for the worker) each frame is sent on the caller's
  // thread within Submit, in the same order and with the same results: the plain loop the
  // pipeline must match.
  FramePipeline(std::unique_ptr<Frame> frame, bool overlapped, Preparer prepare, Sender send,
                Repeater repeat = nullptr);
  ~FramePipeline();
  FramePipeline(const FramePipeline&) = delete;
  FramePipeline& operator=(const FramePipeline&) = delete;

  // The frame to draw the next one into.
  Frame& Next() { return *frame_; }
  // Prepares the drawn frame as frame `index` and hands it over, then waits for the frame
  // submitted before it: true when that one (and every one before) was prepared and sent without
  // failing.
  bool Submit(int64_t index);
  // Frame `index` is the same as the frame before it: once every frame before is sent, `repeat`
  // runs on the caller's thread. True as Submit.
  bool Repeat(int64_t index);
  // Waits for the last frame submitted; true when it and every one before succeeded. Nothing is
  // sent after it.
  bool Finish();

 private:
  void Work();
  // Waits until `count` frames are sent or dropped; true when none of them failed.
  bool AwaitSent(uint64_t count);

  std::unique_ptr<Frame> frame_;
  Preparer prepare_;
  Sender send_;
  Repeater repeat_;
  std::mutex mutex_;
  std::condition_variable changed_;
  int64_t indices_[2] = {};           // of the frames not yet sent: at most two
  uint64_t submitted_ = 0;            // frames handed over
  uint64_t sent_ = 0;                 // frames the worker is done with
  uint64_t failed_at_ = UINT64_MAX;   // the first frame that failed, in submission order
  bool finishing_ = false;
  bool overlapped_ = false;           // set before the worker starts, then only read
  std::thread worker_;                // joined by the caller's thread only
};

}  // namespace talmora
