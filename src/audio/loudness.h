#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

namespace talmora {

// Stereo signals here are interleaved doubles at the track's rate, in 16-bit units (full scale
// 32768).

// The highest value a limited track may reach between its samples: −1 dBTP, less a margin for
// the estimate's own error and the rounding to 16 bits.
inline constexpr double kTruePeakCeilingDb = -1.0;
double LimiterCeiling();

// Integrated loudness in LUFS after EBU R128, by libebur128.
class LoudnessMeter {
 public:
  LoudnessMeter();
  ~LoudnessMeter();
  LoudnessMeter(const LoudnessMeter&) = delete;
  LoudnessMeter& operator=(const LoudnessMeter&) = delete;

  void Add(const double* frames, size_t count);
  // Minus infinity when everything lay below the absolute gate (silence).
  double Integrated() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
  std::vector<double> scaled_;
};

// The peak of each frame of a stereo signal, between its samples too: the larger side's
// largest value at the frame and at three points up to the next, interpolated by a windowed
// sinc. Each peak comes kDelay frames after its frame went in.
class TruePeakDetector {
 public:
  static constexpr int kDelay = 6;

  TruePeakDetector();
  // Appends the peak of every frame now through. Where nothing nearby can reach `floor`, the
  // frames get a value below it instead of their own: callers care only what rises above.
  void Push(const double* frames, size_t count, double floor, std::vector<double>& peaks);
  // The last frames' peaks, as if silence followed.
  void Finish(double floor, std::vector<double>& peaks);

 private:
  static constexpr size_t kTaps = 12;  // a phase's, over frames t − 11 to t
  void Run(size_t count, size_t real, double floor, std::vector<double>& peaks);

  std::array<std::array<double, kTaps>, 3> phases_{};
  double bound_ = 1.0;  // the most an interpolated value can exceed the largest sample by
  std::vector<double> work_;  // 2 × (kTaps − 1) history values, then the new frames
  size_t frames_in_ = 0;
};

// Holds a stereo signal's true peaks under LimiterCeiling(): each frame's peak sets the gain it
// needs; the gain falls smoothly over the look-ahead before a peak and recovers slowly after
// it, and where nothing rises above the ceiling it is exactly 1. Silence goes before the
// signal, so that the gain can fall ahead of a peak at its very start too. The output lags the
// input by kDelay frames.
class PeakLimiter {
 public:
  static constexpr int kLookAhead = 220;  // 5 ms
  static constexpr int kDelay = kLookAhead - 1 + TruePeakDetector::kDelay;

  PeakLimiter();
  // Takes `count` frames; appends the frames that leave the delay, their gain applied.
  void Push(const double* frames, size_t count, std::vector<double>& out);
  // Appends the frames still held, as if silence followed.
  void Finish(std::vector<double>& out);

 private:
  void Step(double peak, std::vector<double>& out);

  const double ceiling_;
  const double release_;
  TruePeakDetector detector_;
  std::vector<double> peaks_;
  std::vector<double> held_;  // frames in, not yet out, from held_start_ on
  size_t held_start_ = 0;
  int64_t steps_ = 0;         // peaks taken
  int64_t frames_in_ = 0, frames_out_ = 0;
  int64_t silence_left_ = kLookAhead - 1;  // of the silence before, still to leave unsaid
  // The running minimum of the needed gains over the look-ahead, as (step, gain).
  std::vector<std::pair<int64_t, double>> minima_;
  size_t minima_start_ = 0;
  std::array<double, kLookAhead> needed_{};  // the last needed gains, by step
  std::array<double, kLookAhead> smoothed_{};  // the last minima, averaged over the look-ahead
  double smoothed_sum_ = kLookAhead;
  int below_one_ = 0;
  double gain_ = 1.0;
};

}  // namespace talmora
