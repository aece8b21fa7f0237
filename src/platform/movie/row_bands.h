#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace talmora {

// Runs `work(first_row, end_row)` over rows 0 to `rows` cut into horizontal bands, at most one a
// core and at most `most_bands`, and returns when every band is done. Each band but the last starts and ends on a multiple of
// `align` (2 where rows go in pairs); the first band runs on the caller's thread and each other on
// a helper thread of its own, so `work` must touch only its own rows of the output.
//
// The helpers start with the first call that needs them and wait between calls for the next
// frame's bands, so a movie pays for its threads once, not every frame. One caller at a time.
class RowBands {
 public:
  using Work = std::function<void(int first_row, int end_row)>;

  explicit RowBands(int most_bands);
  ~RowBands();
  RowBands(const RowBands&) = delete;
  RowBands& operator=(const RowBands&) = delete;

  void ForEach(int rows, int align, const Work& work);

 private:
  void Help(size_t index, uint64_t seen);

  int most_bands_;  // and at most one a core
  std::mutex mutex_;
  std::condition_variable handed_;    // a new call's bands, or the end
  std::condition_variable finished_;  // a helper's band done
  // Read and written under `mutex_` only: the call the helpers are working for.
  const Work* work_ = nullptr;
  std::vector<std::pair<int, int>> bands_;  // the helpers' bands, the i-th helper's at i
  uint64_t call_ = 0;
  size_t unfinished_ = 0;
  bool stopping_ = false;
  std::vector<std::thread> helpers_;  // started and joined by the caller's thread only
};

}  // namespace talmora
