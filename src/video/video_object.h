#pragma once

#include <cstdint>
#include <memory>

#include "platform/render/frame.h"
#include "script/object.h"
#include "video/track.h"

namespace talmora {

class Canvas;
class Texture;
class Reporter;

// A drawn object: placement, depth, colour and turn, each a track over the time window, along
// the ease (linear unless the script asks otherwise).
class VideoObject : public Object {
 public:
  // What an object needs to be drawn beyond its values: a decoded picture, a font.
  struct Resources {
    virtual ~Resources() = default;
  };

  explicit VideoObject(ScriptContext& context);

  void ReadProperties(AttributeMap& attributes) override;
  // The keys: each names values its tracks pass through at `at` seconds into the window.
  void ReadChildren(const AttributeMap& attributes, std::span<const ScriptTag> own) override;
  // Makes what drawing needs as the object comes on screen, and says on the console what it
  // loaded or why it could not. Empty when there is nothing to draw with, or nothing needed.
  virtual std::unique_ptr<Resources> Prepare(Reporter& /*reporter*/) const { return nullptr; }
  // Draws the object as it is at `time` onto `canvas`, with what Prepare made.
  virtual void Draw(Canvas& canvas, double time, Resources* resources) const = 0;
  // Its window, as read, is one pass of something endless: the movie maker stretches it to
  // the movie's end.
  virtual bool EndsWithMovie() const { return false; }
  // Whether it draws exactly the same pixels at `later` as at `earlier` (both inside its window),
  // so that an unchanged frame need not be drawn again. No unless a kind knows better: a kind
  // whose drawing follows more than LooksSame's values must say so itself.
  virtual bool DrawsSame(double /*earlier*/, double /*later*/, const Resources* /*resources*/) const { return false; }

  // The pixel rectangle and 0xAARRGGBB colour at `time`; empty and transparent outside the window.
  void Interpolate(double time, Rect& rect, uint32_t& argb) const;
  // Degrees clockwise about the rectangle's centre at `time` (inside the window).
  double AngleAt(double time) const;
  // The same rectangle, colour and turn at both times.
  bool LooksSame(double earlier, double later) const;

  // A movie rendered larger or smaller than the script says: every position and size, and the
  // font size, times `scale`.
  void SetScale(double scale) { scale_ = scale; }
  double Scale() const { return scale_; }

  // The depth it is drawn at for its whole window.
  double Depth() const { return z.First(); }
  // Every track eases alike; a kind with tracks of its own eases them too.
  virtual void SetEase(const Ease& ease);

  Track x, y, width, height;
  Track z;
  Track r{1.0}, g{1.0}, b{1.0}, a{1.0};
  Track angle;
  // Seconds over which the opacity rises from 0 at the start and falls to 0 at the end.
  double fadein = 0.0, fadeout = 0.0;

 protected:
  // `name` sets the start and the end value, then `name`+"end" the end value alone.
  void ReadPair(const AttributeMap& attributes, const char* name, Track& track);
  // A track of the object's own at `time` (inside the window).
  double ValueAt(const Track& track, double time) const { return track.At(Progress(time)); }
  // Draws `texture` stretched over `rect`, turned as the object is at `time`.
  void DrawStretched(Canvas& canvas, const Texture& texture, const Rect& rect, double time, uint32_t argb) const;

 private:
  void ReadEdges(const AttributeMap& attributes);
  void ReadPlacement(const AttributeMap& attributes);
  // What the fades leave of the opacity at `time`, 0 to 1.
  double FadeAt(double time) const;
  // The fraction of the window gone by at `time`.
  double Progress(double time) const;

  double scale_ = 1.0;
};

}  // namespace talmora
