#pragma once

#include <memory>
#include <vector>

namespace talmora {

class Canvas;
class Reporter;
class VideoObject;

// The objects showing at the current frame time, in ascending z: each is drawn over the ones
// before it. An object dropped from here dies, and its texture or font with it.
class ActiveObjects {
 public:
  // Drops every object whose window ended before `time` (one ending exactly at it stays).
  void Drop(double time);
  // Takes the objects that started before `time` off the end of `pending` (sorted so that the
  // next to start is last) and puts each in front of the first active object of equal or greater
  // z: a newcomer lies under the objects of its own depth. A NaN depth lies under every other.
  void Activate(std::vector<std::shared_ptr<VideoObject>>& pending, double time);
  void Draw(Canvas& canvas, double time, Reporter& reporter) const;
  void Clear() { objects_.clear(); }

  const std::vector<std::shared_ptr<VideoObject>>& Objects() const { return objects_; }

 private:
  std::vector<std::shared_ptr<VideoObject>> objects_;
};

}  // namespace talmora
