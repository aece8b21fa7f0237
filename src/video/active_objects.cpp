#include "video/active_objects.h"

#include <algorithm>
#include <cmath>
#include <iterator>

#include "video/video_object.h"

namespace talmora {
namespace {

// Ascending depth with NaN below everything, so that the order stays a strict weak ordering
// (what sort and merge need) and a NaN newcomer lies at the bottom as it always has.
bool Below(const std::shared_ptr<VideoObject>& p, const std::shared_ptr<VideoObject>& q) {
  if (std::isnan(q->z)) return false;
  return std::isnan(p->z) || p->z < q->z;
}

}  // namespace

void ActiveObjects::Drop(double time) {
  std::erase_if(objects_, [time](const auto& object) { return time > object->end; });
}

void ActiveObjects::Activate(std::vector<std::shared_ptr<VideoObject>>& pending, double time) {
  // Inserting the newcomers one by one would be quadratic. The same order in one pass: a
  // newcomer lies under those taken before it at its depth, which are the ones after it in
  // `pending`, so a stable sort keeps them right; the merge puts the batch under the active
  // objects of equal depth.
  auto first = pending.end();
  while (first != pending.begin() && (*std::prev(first))->start < time) --first;
  if (first == pending.end()) return;
  std::vector<std::shared_ptr<VideoObject>> batch(std::make_move_iterator(first),
                                                  std::make_move_iterator(pending.end()));
  pending.erase(first, pending.end());
  std::stable_sort(batch.begin(), batch.end(), Below);
  std::vector<std::shared_ptr<VideoObject>> merged;
  merged.reserve(objects_.size() + batch.size());
  std::merge(std::make_move_iterator(batch.begin()), std::make_move_iterator(batch.end()),
             std::make_move_iterator(objects_.begin()), std::make_move_iterator(objects_.end()),
             std::back_inserter(merged), Below);
  objects_ = std::move(merged);
}

void ActiveObjects::Draw(Canvas& canvas, double time, Reporter& reporter) const {
  for (const auto& object : objects_) object->Draw(canvas, time, reporter);
}

}  // namespace talmora
