#pragma once

#include <cstdint>

#include "platform/render/frame.h"
#include "script/object.h"
#include "video/easing.h"

namespace talmora {

class Canvas;
class Reporter;

// A drawn object: placement, depth, colour and turn, each moving from its start value to its
// end value over the time window, along the ease (linear unless the script asks otherwise).
class VideoObject : public Object {
 public:
  explicit VideoObject(ScriptContext& context);

  void ReadProperties(AttributeMap& attributes) override;
  // Draws the object as it is at `time` onto `canvas`; what it has to say goes to `reporter`.
  virtual void Draw(Canvas& canvas, double time, Reporter& reporter) = 0;
  // Its window, as read, is one pass of something endless: the movie maker stretches it to
  // the movie's end.
  virtual bool EndsWithMovie() const { return false; }

  // The pixel rectangle and 0xAARRGGBB colour at `time`; empty and transparent outside the window.
  void Interpolate(double time, Rect& rect, uint32_t& argb) const;
  // Degrees clockwise about the rectangle's centre at `time` (inside the window).
  double AngleAt(double time) const;

  // A movie rendered larger or smaller than the script says: every position and size, and the
  // font size, times `scale`.
  void SetScale(double scale) { scale_ = scale; }
  double Scale() const { return scale_; }

  double x = 0.0, y = 0.0, xend = 0.0, yend = 0.0;
  double z = 0.0, zend = 0.0;
  double width, height, widthend, heightend;
  double r = 1.0, g = 1.0, b = 1.0, a = 1.0;
  double rend = 1.0, gend = 1.0, bend = 1.0, aend = 1.0;
  double angle = 0.0, angleend = 0.0;
  Ease ease;

 private:
  void ReadEdges(const AttributeMap& attributes);
  void ReadPlacement(const AttributeMap& attributes);
  // `name` sets the start and the end value, then `name`+"end" the end value alone.
  void ReadPair(const AttributeMap& attributes, const char* name, double& first, double& last);
  // The eased progress through the window at `time`.
  double Progress(double time) const;

  double scale_ = 1.0;
};

}  // namespace talmora
