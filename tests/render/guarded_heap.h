#pragma once

namespace talmora::testing {

// While one lives, every block from operator new ends flush against a page that may not be
// touched, and its memory starts zeroed: a library writing past what we allocated faults at the
// write instead of corrupting the heap quietly. Not under the sanitizers, which own operator new.
class GuardedHeap {
 public:
  GuardedHeap();
  ~GuardedHeap();
  GuardedHeap(const GuardedHeap&) = delete;
  GuardedHeap& operator=(const GuardedHeap&) = delete;
};

}  // namespace talmora::testing
