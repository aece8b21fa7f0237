#include "video/scene.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>

#include "video/frame_timing.h"

namespace talmora {
namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();

// Ascending depth with NaN below everything, so that the order stays a strict weak ordering.
bool Below(double p, double q) {
  if (std::isnan(q)) return false;
  return std::isnan(p) || p < q;
}

}  // namespace

Scene::Scene(std::vector<std::shared_ptr<VideoObject>> objects) : objects_(std::move(objects)) {
  std::stable_sort(objects_.begin(), objects_.end(),
                   [](const auto& p, const auto& q) { return ActivatesAfter(*p, *q); });
  const size_t count = objects_.size();
  // One waits for those sorted before it, as the old waiting list was taken from its end only
  // while the next one had started; a start that is no number holds back everything after it.
  arrival_.resize(count);
  double latest = -kInfinity;
  for (size_t n = 0; n < count; ++n) {
    const double start = Nth(n).start;
    latest = std::isnan(start) ? kInfinity : std::max(latest, start);
    arrival_[n] = latest;
  }
  std::vector<size_t> order(count);
  std::iota(order.begin(), order.end(), size_t{0});
  std::sort(order.begin(), order.end(), [this](size_t m, size_t n) {
    const double p = Nth(m).Depth(), q = Nth(n).Depth();
    if (Below(p, q)) return true;
    if (Below(q, p)) return false;
    return m > n;
  });
  place_.resize(count);
  for (size_t i = 0; i < count; ++i) place_[order[i]] = static_cast<uint32_t>(i);
  leaves_ = 1;
  while (leaves_ < count) leaves_ *= 2;
  latest_end_.assign(2 * leaves_, -kInfinity);
  for (size_t n = 0; n < count; ++n) {
    const double end = Nth(n).end;
    latest_end_[leaves_ + n] = std::isnan(end) ? kInfinity : end;
  }
  for (size_t node = leaves_ - 1; node >= 1; --node) {
    latest_end_[node] = std::max(latest_end_[2 * node], latest_end_[2 * node + 1]);
  }
}

std::vector<const VideoObject*> Scene::At(double time, double previous) const {
  const auto come_on_before = [this](double moment) {
    return static_cast<size_t>(std::partition_point(arrival_.begin(), arrival_.end(),
                                                    [moment](double arrival) { return arrival < moment; }) -
                               arrival_.begin());
  };
  const size_t on = come_on_before(time);
  const size_t earlier = std::min(on, come_on_before(previous));
  std::vector<size_t> shown;
  // Those on screen before: the ones not ended yet. An end that is no number never passes.
  struct Span {
    size_t node, first, width;
  };
  std::vector<Span> stack;
  if (earlier > 0) stack.push_back({1, 0, leaves_});
  while (!stack.empty()) {
    const Span span = stack.back();
    stack.pop_back();
    if (span.first >= earlier || time > latest_end_[span.node]) continue;
    if (span.width == 1) {
      shown.push_back(span.first);
      continue;
    }
    const size_t half = span.width / 2;
    stack.push_back({2 * span.node + 1, span.first + half, half});
    stack.push_back({2 * span.node, span.first, half});
  }
  for (size_t n = earlier; n < on; ++n) shown.push_back(n);
  std::sort(shown.begin(), shown.end(), [this](size_t m, size_t n) { return place_[m] < place_[n]; });
  std::vector<const VideoObject*> objects;
  objects.reserve(shown.size());
  for (const size_t n : shown) objects.push_back(&Nth(n));
  return objects;
}

std::vector<const VideoObject*> Scene::AtFrame(int32_t index, int32_t fps) const {
  return At(FrameTime(index, fps), index > 0 ? FrameTime(index - 1, fps) : -kInfinity);
}

void RenderState::Prepare(std::vector<const VideoObject*> shown, Reporter& reporter) {
  ++frame_;
  same_shown_ = frame_ > 1 && shown == shown_;
  for (const VideoObject* object : shown) {
    if (const auto held = held_.find(object); held != held_.end()) held->second.frame = frame_;
  }
  // Released before the newcomers load, as they were when an object was dropped.
  std::erase_if(held_, [this](const auto& held) { return held.second.frame != frame_; });
  resources_.clear();
  for (const VideoObject* object : shown) {
    auto [held, fresh] = held_.try_emplace(object);
    if (fresh) {
      held->second.resources = object->Prepare(reporter);
      held->second.frame = frame_;
    }
    resources_.push_back(held->second.resources.get());
  }
  shown_ = std::move(shown);
}

bool RenderState::DrawsAsBefore(double earlier, double later) const {
  if (!same_shown_) return false;
  for (size_t i = 0; i < shown_.size(); ++i) {
    if (!shown_[i]->DrawsSame(earlier, later, resources_[i])) return false;
  }
  return true;
}

void RenderState::Draw(Canvas& canvas, double time) const {
  for (size_t i = 0; i < shown_.size(); ++i) shown_[i]->Draw(canvas, time, resources_[i]);
}

}  // namespace talmora
