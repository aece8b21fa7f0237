#include "video/track.h"

namespace talmora {

void Track::SetFirst(double value) {
  keys_.front().value = value;
  keys_.back().value = value;
}

void Track::SetEase(const Ease& ease) {
  for (Key& key : keys_) key.ease = ease;
}

TrackPoint Track::Locate(double progress) const {
  size_t segment = 0;
  while (segment + 2 < keys_.size() && !(progress < keys_[segment + 1].at)) ++segment;
  const Key& from = keys_[segment];
  // (progress - 0) / 1 is progress itself: the two-key track moves exactly as the old pairs did.
  return {segment, from.ease.Apply((progress - from.at) / (keys_[segment + 1].at - from.at))};
}

double Track::At(const TrackPoint& point) const {
  const double s = point.eased;
  return (1.0 - s) * keys_[point.segment].value + s * keys_[point.segment + 1].value;
}

bool Track::SameTiming(const Track& other) const {
  if (keys_.size() != other.keys_.size()) return false;
  for (size_t i = 0; i < keys_.size(); ++i) {
    const Ease& e = keys_[i].ease;
    const Ease& f = other.keys_[i].ease;
    if (keys_[i].at != other.keys_[i].at || e.kind != f.kind || e.x1 != f.x1 || e.y1 != f.y1 || e.x2 != f.x2 ||
        e.y2 != f.y2) {
      return false;
    }
  }
  return true;
}

double Track::Sum(const Track& a, const Track& b, double progress) {
  if (!a.SameTiming(b)) return a.At(progress) + b.At(progress);
  const TrackPoint point = a.Locate(progress);
  const double s = point.eased;
  const size_t i = point.segment;
  return (1.0 - s) * (a.keys_[i].value + b.keys_[i].value) + s * (a.keys_[i + 1].value + b.keys_[i + 1].value);
}

}  // namespace talmora
