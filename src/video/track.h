#pragma once

#include <cstddef>
#include <span>
#include <vector>

#include "video/easing.h"

namespace talmora {

// One value a track passes through: at `at` through the object's window (0 its start, 1 its
// end), moving on to the next key along `ease`.
struct Key {
  double at = 0.0;
  double value = 0.0;
  Ease ease;
};

// Where a time falls on a track: between key `segment` and the next one, `eased` of the way.
struct TrackPoint {
  size_t segment = 0;
  double eased = 0.0;
};

// A value that moves over its object's window, from key to key. The script's start and end
// attributes are the two keys at 0 and 1; before the first key and after the last the nearest
// stretch carries on, as an overshooting ease does inside it.
class Track {
 public:
  explicit Track(double value = 0.0) : pair_{{0.0, value, {}}, {1.0, value, {}}} {}
  // Two keys or more, in ascending `at`.
  explicit Track(const std::vector<Key>& keys);

  // The value at the start, and at the end unless it is given on its own.
  void SetFirst(double value);
  void SetLast(double value) { Mutable().back().value = value; }
  // Every key moved by `delta`.
  void Shift(double delta) {
    for (Key& key : Mutable()) key.value += delta;
  }
  double First() const { return Keys().front().value; }
  // Whether every key holds `value`.
  bool IsConstant(double value) const {
    for (const Key& key : Keys()) {
      if (key.value != value) return false;
    }
    return true;
  }
  double Last() const { return Keys().back().value; }
  void SetEase(const Ease& ease);
  std::span<const Key> Keys() const { return more_.empty() ? std::span<const Key>(pair_) : more_; }

  // `progress` is the fraction of the window gone by.
  TrackPoint Locate(double progress) const;
  double At(double progress) const { return At(Locate(progress)); }
  // `point` must come from a track of the same timing.
  double At(const TrackPoint& point) const;
  // Same key times and eases: one Locate serves both.
  bool SameTiming(const Track& other) const;

  // The value of `a` plus `b`. With the same timing the keys' sums are eased, so that an edge at
  // position plus size comes out exactly as the script's far edge between two keys.
  static double Sum(const Track& a, const Track& b, double progress);

 private:
  std::span<Key> Mutable() { return more_.empty() ? std::span<Key>(pair_) : more_; }

  // Two keys are held here, so that a script of many objects allocates nothing for them.
  Key pair_[2];
  std::vector<Key> more_;  // every key, when there are more
};

}  // namespace talmora
