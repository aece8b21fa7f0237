#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/render/frame.h"

namespace talmora {

// Frames drawn on the caller's thread while a worker hands the one before to `consume`
// (conversion and compression): two frames take turns, so memory stays at two frames however
// long the movie is. Frames are consumed in the order they are submitted; after one fails, the
// rest are dropped unconsumed, so nothing is written after a failed frame.
//
// Ownership, which is what keeps the two threads apart: a submitted frame belongs to the worker
// until the caller has awaited it (Submit awaits the one before, Next the one two back), and the
// caller's frame belongs to the caller until it submits it. `consume` and everything it touches
// belong to the worker from the first Submit until Finish returns; the counters below are only
// read or written under `mutex_`.
class FramePipeline {
 public:
  using Consumer = std::function<bool(int64_t index, const Frame& frame)>;
  using Repeater = std::function<bool(int64_t index)>;

  // Without a `second` frame (or a thread for the worker) each frame is consumed on the caller's
  // thread within Submit, in the same order and with the same results: the plain loop the
  // pipeline must match.
  FramePipeline(std::unique_ptr<Frame> first, std::unique_ptr<Frame> second, Consumer consume,
                Repeater repeat = nullptr);
  ~FramePipeline();
  FramePipeline(const FramePipeline&) = delete;
  FramePipeline& operator=(const FramePipeline&) = delete;

  // The frame to draw the next one into; call it before each Submit.
  Frame& Next();
  // Hands the drawn frame over as frame `index`, then waits for the frame submitted before it:
  // true when that one (and every one before) was consumed without failing.
  bool Submit(int64_t index);
  // Frame `index` is the same as the frame before it: once every frame before is consumed,
  // `repeat` runs on the caller's thread, with no frame taken. True as Submit.
  bool Repeat(int64_t index);
  // Waits for the last frame submitted; true when it and every one before succeeded. Nothing is
  // consumed after it.
  bool Finish();

 private:
  struct Turn {
    std::unique_ptr<Frame> frame;
    int64_t index = 0;
  };

  // Where the frame submitted `order`-th goes; one frame does for the inline loop.
  size_t Slot(uint64_t order) const;
  void Work();
  // Waits until `count` frames are consumed or dropped; true when none of them failed.
  bool AwaitConsumed(uint64_t count);

  Turn slots_[2];
  Consumer consume_;
  Repeater repeat_;
  std::mutex mutex_;
  std::condition_variable changed_;
  uint64_t submitted_ = 0;                // frames handed over
  uint64_t consumed_ = 0;                 // frames the worker is done with
  uint64_t failed_at_ = UINT64_MAX;       // the first frame that failed, in submission order
  bool finishing_ = false;
  bool overlapped_ = false;               // set before the worker starts, then only read
  std::thread worker_;                    // joined by the caller's thread only
};

}  // namespace talmora
