#include "video/track.h"

namespace talmora {

Track::Track(const std::vector<Key>& keys) {
  if (keys.size() == 2) {
    pair_[0] = keys[0];
    pair_[1] = keys[1];
  } else {
    more_ = keys;
  }
}

void Track::SetFirst(double value) {
  Mutable().front().value = value;
  Mutable().back().value = value;
}

void Track::SetEase(const Ease& ease) {
  for (Key& key : Mutable()) key.ease = ease;
}

TrackPoint Track::Locate(double progress) const {
  const std::span<const Key> keys = Keys();
  size_t segment = 0;
  while (segment + 2 < keys.size() && !(progress < keys[segment + 1].at)) ++segment;
  const Key& from = keys[segment];
  // (progress - 0) / 1 is progress itself: the two-key track moves exactly as the old pairs did.
  return {segment, from.ease.Apply((progress - from.at) / (keys[segment + 1].at - from.at))};
}

double Track::At(const TrackPoint& point) const {
  const std::span<const Key> keys = Keys();
  const double from = keys[point.segment].value, to = keys[point.segment + 1].value;
  // A value that holds stays itself: (1 − s)·v + s·v can miss v by a unit in the last place,
  // which moved a half-pixel edge by a pixel on some frames and not on others.
  if (from == to) return from;
  const double s = point.eased;
  return (1.0 - s) * from + s * to;
}

bool Track::SameTiming(const Track& other) const {
  const std::span<const Key> mine = Keys(), theirs = other.Keys();
  if (mine.size() != theirs.size()) return false;
  for (size_t i = 0; i < mine.size(); ++i) {
    const Ease& e = mine[i].ease;
    const Ease& f = theirs[i].ease;
    if (mine[i].at != theirs[i].at || e.kind != f.kind || e.x1 != f.x1 || e.y1 != f.y1 || e.x2 != f.x2 ||
        e.y2 != f.y2) {
      return false;
    }
  }
  return true;
}

double Track::Sum(const Track& a, const Track& b, double progress) {
  if (!a.SameTiming(b)) return a.At(progress) + b.At(progress);
  const std::span<const Key> p = a.Keys(), q = b.Keys();
  const TrackPoint point = a.Locate(progress);
  const double s = point.eased;
  const size_t i = point.segment;
  const double from = p[i].value + q[i].value, to = p[i + 1].value + q[i + 1].value;
  if (from == to) return from;
  return (1.0 - s) * from + s * to;
}

}  // namespace talmora
