#pragma once

#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

#include "video/video_object.h"

namespace talmora {

class Canvas;
class Reporter;

// The drawn objects of a script, as read. Which of them are on screen at a frame, and in what
// order, can be asked for any frame, again and in any order: nothing is used up by asking.
class Scene {
 public:
  // `objects` in script order.
  explicit Scene(std::vector<std::shared_ptr<VideoObject>> objects = {});

  // The objects on screen at `time` in a frame that follows one at `previous`, bottom first.
  // An object comes on once it and every object sorted to come on before it have started before
  // `time`, and goes once `time` is past its end; one that came on since `previous` shows in
  // this frame however short it is. Ascending depth, NaN under every other; among equals the
  // later to come on lies underneath, and of those coming on together the one sorted first.
  std::vector<const VideoObject*> At(double time, double previous) const;
  // The same for frame `index` of a movie at `fps` (positive).
  std::vector<const VideoObject*> AtFrame(int32_t index, int32_t fps) const;

  // Sorted by ActivatesAfter: the first to come on is the last.
  const std::vector<std::shared_ptr<VideoObject>>& Objects() const { return objects_; }

 private:
  // Indices count from the last object: the first to come on is 0.
  const VideoObject& Nth(size_t n) const { return *objects_[objects_.size() - 1 - n]; }

  std::vector<std::shared_ptr<VideoObject>> objects_;
  // When each comes on: the latest start of it and those before it; infinite after a NaN.
  std::vector<double> arrival_;
  // Each one's place in the drawing order.
  std::vector<uint32_t> place_;
  // The latest end under each node of a binary tree over the indices (NaN as infinite), so that
  // a frame finds the objects still showing without visiting every one that has ended.
  std::vector<double> latest_end_;
  size_t leaves_ = 0;
};

// What the objects on screen need to be drawn, kept from frame to frame while they stay on it,
// and released as soon as they leave.
class RenderState {
 public:
  // Releases what objects no longer in `shown` held, then prepares the newcomers bottom first,
  // each of which says on the console what it loaded. One that could not be prepared is not
  // tried again while it stays on screen.
  void Prepare(std::vector<const VideoObject*> shown, Reporter& reporter);
  // Draws the objects last prepared, bottom first.
  void Draw(Canvas& canvas, double time) const;
  // Whether drawing at `later` gives the very frame drawn at `earlier`: the last Prepare kept the
  // same objects in the same order, and each of them draws alike at both times.
  bool DrawsAsBefore(double earlier, double later) const;

 private:
  struct Held {
    std::unique_ptr<VideoObject::Resources> resources;
    uint64_t frame = 0;
  };
  std::vector<const VideoObject*> shown_;
  std::vector<VideoObject::Resources*> resources_;
  std::unordered_map<const VideoObject*, Held> held_;
  uint64_t frame_ = 0;
  bool same_shown_ = false;
};

}  // namespace talmora
