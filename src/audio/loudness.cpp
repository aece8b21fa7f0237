#include "audio/loudness.h"

#include <ebur128.h>

#include <algorithm>
#include <cmath>
#include <limits>

#include "audio/wav_header.h"

namespace talmora {
namespace {

constexpr double kFullScale = 32768.0;
// Covers the gap between this estimate of the peaks and another meter's, and the rounding.
constexpr double kCeilingMarginDb = 0.1;
// How fast the gain recovers after a peak.
constexpr double kReleaseSeconds = 0.1;

// The zeroth modified Bessel function of the first kind, for the Kaiser window.
double BesselI0(double x) {
  double sum = 1.0, term = 1.0;
  for (int k = 1; k < 40; ++k) {
    term *= (x / (2 * k)) * (x / (2 * k));
    sum += term;
  }
  return sum;
}

}  // namespace

double LimiterCeiling() {
  return kFullScale * std::pow(10.0, (kTruePeakCeilingDb - kCeilingMarginDb) / 20.0);
}

struct LoudnessMeter::State {
  ebur128_state* meter = nullptr;
  ~State() {
    if (meter) ebur128_destroy(&meter);
  }
};

LoudnessMeter::LoudnessMeter() : state_(std::make_unique<State>()) {
  // The histogram keeps memory flat however long the track.
  state_->meter = ebur128_init(2, kTrackRate, EBUR128_MODE_I | EBUR128_MODE_HISTOGRAM);
}

LoudnessMeter::~LoudnessMeter() = default;

void LoudnessMeter::Add(const double* frames, size_t count) {
  if (!state_->meter) return;
  scaled_.resize(2 * count);
  for (size_t i = 0; i < 2 * count; ++i) scaled_[i] = frames[i] / kFullScale;
  ebur128_add_frames_double(state_->meter, scaled_.data(), count);
}

double LoudnessMeter::Integrated() const {
  double loudness = -std::numeric_limits<double>::infinity();
  if (!state_->meter || ebur128_loudness_global(state_->meter, &loudness) != EBUR128_SUCCESS) {
    return -std::numeric_limits<double>::infinity();
  }
  return loudness;
}

TruePeakDetector::TruePeakDetector() : work_(2 * (kTaps - 1), 0.0) {
  // A sinc for 4× oversampling, 49 taps centred on 24 under a Kaiser window; phase 0 is the
  // samples themselves, phases 1 to 3 the points a quarter, half and three quarters on.
  constexpr double kBeta = 6.0;
  const auto tap = [&](int j) {
    const double x = (j - 24) / 4.0;
    const double sinc = x == 0.0 ? 1.0 : std::sin(M_PI * x) / (M_PI * x);
    const double r = (j - 24) / 24.0;
    return sinc * BesselI0(kBeta * std::sqrt(std::max(0.0, 1.0 - r * r))) / BesselI0(kBeta);
  };
  for (size_t phase = 1; phase <= 3; ++phase) {
    double sum = 0.0;
    for (size_t i = 0; i < kTaps; ++i) {
      phases_[phase - 1][i] = tap(static_cast<int>(phase + 4 * i));
      sum += std::fabs(phases_[phase - 1][i]);
    }
    bound_ = std::max(bound_, sum);
  }
}

void TruePeakDetector::Push(const double* frames, size_t count, double floor,
                            std::vector<double>& peaks) {
  const size_t history = work_.size();
  work_.resize(history + 2 * count);
  std::copy_n(frames, 2 * count, work_.begin() + static_cast<std::ptrdiff_t>(history));
  Run(count, std::numeric_limits<size_t>::max(), floor, peaks);
}

void TruePeakDetector::Finish(double floor, std::vector<double>& peaks) {
  work_.resize(work_.size() + 2 * kDelay, 0.0);
  Run(kDelay, frames_in_, floor, peaks);
}

void TruePeakDetector::Run(size_t count, size_t real, double floor, std::vector<double>& peaks) {
  constexpr size_t kHistory = kTaps - 1;
  constexpr size_t kBlock = 32;
  const double* x = work_.data();
  for (size_t first = 0; first < count; first += kBlock) {
    const size_t last = std::min(count, first + kBlock);
    // Frame kHistory + k of the work is frame frames_in_ + k of the signal, and gives the
    // peak of the frame kDelay before it.
    double top = 0.0;
    for (size_t i = 2 * first; i < 2 * (kHistory + last); ++i) top = std::max(top, std::fabs(x[i]));
    const bool quiet = top * bound_ < floor;
    for (size_t k = first; k < last; ++k) {
      const size_t frame = frames_in_ + k;
      if (frame < kDelay || frame - kDelay >= real) continue;
      double peak = top;
      if (!quiet) {
        const double* at = x + 2 * (kHistory + k);  // frame t; taps reach back to t − 11
        peak = std::max(std::fabs(at[-2 * kDelay]), std::fabs(at[-2 * kDelay + 1]));
        for (const auto& taps : phases_) {
          double left = 0.0, right = 0.0;
          for (size_t i = 0; i < kTaps; ++i) {
            left += taps[i] * at[-2 * static_cast<std::ptrdiff_t>(i)];
            right += taps[i] * at[-2 * static_cast<std::ptrdiff_t>(i) + 1];
          }
          peak = std::max({peak, std::fabs(left), std::fabs(right)});
        }
      }
      peaks.push_back(peak);
    }
  }
  frames_in_ += count;
  // The last frames stay as the next call's history.
  work_.erase(work_.begin(), work_.end() - static_cast<std::ptrdiff_t>(2 * kHistory));
}

PeakLimiter::PeakLimiter()
    : ceiling_(LimiterCeiling()), release_(1.0 - std::exp(-1.0 / (kReleaseSeconds * kTrackRate))) {
  smoothed_.fill(1.0);
  needed_.fill(1.0);
  const std::vector<double> silence(2 * static_cast<size_t>(silence_left_), 0.0);
  std::vector<double> none;
  Push(silence.data(), silence.size() / 2, none);
}

void PeakLimiter::Push(const double* frames, size_t count, std::vector<double>& out) {
  if (held_start_ > held_.size() / 2) {
    held_.erase(held_.begin(), held_.begin() + static_cast<std::ptrdiff_t>(held_start_));
    held_start_ = 0;
  }
  held_.insert(held_.end(), frames, frames + 2 * count);
  frames_in_ += static_cast<int64_t>(count);
  peaks_.clear();
  detector_.Push(frames, count, ceiling_, peaks_);
  for (double peak : peaks_) Step(peak, out);
}

void PeakLimiter::Finish(std::vector<double>& out) {
  peaks_.clear();
  detector_.Finish(ceiling_, peaks_);
  for (double peak : peaks_) Step(peak, out);
  // Silence after the end needs no gain of its own.
  while (frames_out_ < frames_in_) Step(0.0, out);
}

void PeakLimiter::Step(double peak, std::vector<double>& out) {
  const int64_t step = steps_++;
  const double needed = peak > ceiling_ ? ceiling_ / peak : 1.0;
  while (minima_.size() > minima_start_ && minima_.back().second >= needed) minima_.pop_back();
  minima_.emplace_back(step, needed);
  needed_[static_cast<size_t>(step % kLookAhead)] = needed;
  const int64_t frame = step - (kLookAhead - 1);
  if (frame < 0) return;
  while (minima_[minima_start_].first < frame) ++minima_start_;
  if (minima_start_ > 4096) {
    minima_.erase(minima_.begin(), minima_.begin() + static_cast<std::ptrdiff_t>(minima_start_));
    minima_start_ = 0;
  }
  // The least gain any frame of the look-ahead needs, averaged over the look-ahead before it:
  // every frame in the average's reach needs no less than it, so the gain slides down to a
  // peak and is low enough on it.
  const double least = minima_[minima_start_].second;
  double& slot = smoothed_[static_cast<size_t>(frame % kLookAhead)];
  below_one_ += (least < 1.0) - (slot < 1.0);
  smoothed_sum_ += least - slot;
  slot = least;
  if (below_one_ == 0) smoothed_sum_ = kLookAhead;  // no drift once all is clear
  const double target = below_one_ ? smoothed_sum_ / kLookAhead : 1.0;
  double gain = target <= gain_ ? target : gain_ + release_ * (target - gain_);
  // So close that the step is below a tenth of the last bit: the gain is back.
  if (target - gain < 1e-5) gain = target;
  // Its own frame's need bounds it whatever the sums' rounding.
  gain_ = std::min(gain, needed_[static_cast<size_t>((step + 1) % kLookAhead)]);
  if (frame >= frames_in_) return;
  if (silence_left_ > 0) {
    --silence_left_;
  } else {
    out.push_back(held_[held_start_] * gain_);
    out.push_back(held_[held_start_ + 1] * gain_);
  }
  held_start_ += 2;
  ++frames_out_;
}

}  // namespace talmora
