#include "video/video_object.h"

#include <string>

#include "platform/render/affine_draw.h"
#include "script/conversions.h"
#include "script/global_property.h"
#include "script/property_readers.h"

namespace talmora {

VideoObject::VideoObject(ScriptContext& context)
    : Object(context), width(context.global.width), height(context.global.height) {}

void VideoObject::ReadProperties(AttributeMap& attributes) {
  Object::ReadProperties(attributes);
  ReadEdges(attributes);
  ReadPlacement(attributes);
  ReadPair(attributes, "z", z);
  ReadPair(attributes, "r", r);
  ReadPair(attributes, "g", g);
  ReadPair(attributes, "b", b);
  ReadPair(attributes, "a", a);
  ReadPair(attributes, "angle", angle);
  std::string word;
  if (ReadText(attributes, "ease", word)) {
    if (auto parsed = ParseEase(word)) {
      SetEase(*parsed);
    } else {
      PrintInvalidValue(context_.reporter, "ease", word, &context_.outcome);
    }
  }
}

void VideoObject::SetEase(const Ease& ease) {
  for (Track* track : {&x, &y, &width, &height, &z, &r, &g, &b, &a, &angle}) track->SetEase(ease);
}

namespace {

// The edge or size attribute, its track's end value when `last`.
void Set(Track& track, bool last, double value) {
  if (last) {
    track.SetLast(value);
  } else {
    track.SetFirst(value);
  }
}

struct Axis {
  Track VideoObject::*position;
  Track VideoObject::*size;
  const char* near_edge;
  const char* far_edge;
  const char* position_name;
  const char* size_name;
};

constexpr Axis kAxes[] = {{&VideoObject::x, &VideoObject::width, "left", "right", "x", "width"},
                          {&VideoObject::y, &VideoObject::height, "top", "bottom", "y", "height"}};

}  // namespace

// The edge form: "right" means something only after "left", and so on.
void VideoObject::ReadEdges(const AttributeMap& attributes) {
  for (const Axis& axis : kAxes) {
    for (const bool last : {false, true}) {
      const std::string suffix = last ? "end" : "";
      double value = 0.0;
      if (!ReadNumber(attributes, axis.near_edge + suffix, value)) continue;
      Track& position = this->*axis.position;
      Set(position, last, value);
      const double from = value;
      StoreNumber(axis.position_name + suffix, from);
      if (ReadNumber(attributes, axis.far_edge + suffix, value)) {
        Set(this->*axis.size, last, value - from);
        StoreNumber(axis.size_name + suffix, value - from);
      }
    }
  }
}

// The plain form, read after the edges so that it wins; each records its edge counterpart.
void VideoObject::ReadPlacement(const AttributeMap& attributes) {
  for (const bool sizes : {false, true}) {
    for (const Axis& axis : kAxes) {
      for (const bool last : {false, true}) {
        const std::string suffix = last ? "end" : "";
        double value = 0.0;
        if (!ReadNumber(attributes, (sizes ? axis.size_name : axis.position_name) + suffix, value)) continue;
        Set(this->*(sizes ? axis.size : axis.position), last, value);
        const Track& position = this->*axis.position;
        const double from = last ? position.Last() : position.First();
        StoreNumber((sizes ? axis.far_edge : axis.near_edge) + suffix, sizes ? from + value : value);
      }
    }
  }
}

void VideoObject::ReadPair(const AttributeMap& attributes, const char* name, Track& track) {
  double value = 0.0;
  if (ReadNumber(attributes, name, value)) track.SetFirst(value);
  if (ReadNumber(attributes, std::string(name) + "end", value)) track.SetLast(value);
}

double VideoObject::Progress(double time) const {
  // An empty window (end == start) has no extent to divide by; it shows its start values.
  const double span = end - start;
  return span != 0.0 ? (time - start) / span : 0.0;
}

double VideoObject::AngleAt(double time) const { return angle.At(Progress(time)); }

bool VideoObject::LooksSame(double earlier, double later) const {
  Rect first, second;
  uint32_t first_argb = 0, second_argb = 0;
  Interpolate(earlier, first, first_argb);
  Interpolate(later, second, second_argb);
  // Turns compared as drawn: any two that are not turns at all draw alike.
  const double first_turn = AngleAt(earlier), second_turn = AngleAt(later);
  const bool same_turn = IsTurned(first_turn) ? first_turn == second_turn : !IsTurned(second_turn);
  return first.left == second.left && first.top == second.top && first.right == second.right &&
         first.bottom == second.bottom && first_argb == second_argb && same_turn;
}

void VideoObject::Interpolate(double time, Rect& rect, uint32_t& argb) const {
  if (time < start || time > end) {
    rect = Rect{};
    argb = 0;
    return;
  }
  const double progress = Progress(time);
  const TrackPoint point = x.Locate(progress);
  const auto at = [&](const Track& track) { return track.SameTiming(x) ? track.At(point) : track.At(progress); };
  const auto edge = [](double value) { return SaturateToInt32(value + 0.5); };
  rect.left = edge(scale_ * at(x));
  rect.top = edge(scale_ * at(y));
  rect.right = edge(scale_ * Track::Sum(x, width, progress));
  rect.bottom = edge(scale_ * Track::Sum(y, height, progress));
  argb = ArgbColour(at(a), at(r), at(g), at(b));
}

}  // namespace talmora
