#include "video/active_objects.h"

#include "video/video_object.h"

namespace talmora {

void ActiveObjects::Drop(double time) {
  std::erase_if(objects_, [time](const auto& object) { return time > object->end; });
}

void ActiveObjects::Activate(std::vector<std::shared_ptr<VideoObject>>& pending, double time) {
  while (!pending.empty() && pending.back()->start < time) {
    const double z = pending.back()->z;
    // A binary search by hand: it stays defined even where a NaN depth breaks the ordering
    // that std::lower_bound requires.
    size_t low = 0, high = objects_.size();
    while (low < high) {
      const size_t middle = low + (high - low) / 2;
      if (objects_[middle]->z < z) {
        low = middle + 1;
      } else {
        high = middle;
      }
    }
    objects_.insert(objects_.begin() + static_cast<std::ptrdiff_t>(low), std::move(pending.back()));
    pending.pop_back();
  }
}

void ActiveObjects::Draw(Canvas& canvas, double time) const {
  for (const auto& object : objects_) object->Draw(canvas, time);
}

}  // namespace talmora
