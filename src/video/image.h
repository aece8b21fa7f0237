#pragma once

#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "video/video_object.h"

namespace talmora {

// A picture file stretched onto the interpolated rectangle, tinted and faded by the colour. The
// file is a still picture, or a moving one (a video or an animated picture) whose frames play
// from `clipstart` seconds in at `clipspeed`, held at the last frame or, with `cliploop`, again
// from `clipstart`.
class Image : public VideoObject {
 public:
  explicit Image(ScriptContext& context);
  ~Image() override;

  void ReadProperties(AttributeMap& attributes) override;
  // Loads the picture and prints `src`, or the failure line. A clip's file is open from then
  // until the element leaves the screen.
  std::unique_ptr<Resources> Prepare(Reporter& reporter) const override;
  void Draw(Canvas& canvas, double time, Resources* resources) const override;
  bool EndsWithMovie() const override { return ends_with_movie_; }
  // A still picture, placed and coloured alike; a clip may show another frame.
  bool DrawsSame(double earlier, double later, const Resources* resources) const override;

  // The source's seconds when `src` is a moving picture.
  const std::optional<double>& ClipSeconds() const { return clip_seconds_; }
  // The source time shown at movie time `time`.
  double SourceTime(double time) const;

  std::string src;
  double clipstart = 0.0;
  bool cliploop = false;
  double clipspeed = 1.0;

 private:
  void ReadClipSettings(const AttributeMap& attributes);
  // A window of its own wins; otherwise the clip plays out once, or loops to the movie's end.
  void TakeLengthFromClip();
  // The most pixels across and down it is drawn over its window.
  std::pair<double, double> LargestExtent() const;

  std::optional<double> clip_seconds_;
  bool ends_with_movie_ = false;
};

}  // namespace talmora
