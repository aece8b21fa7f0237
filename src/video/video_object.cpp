#include "video/video_object.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <string>
#include <vector>

#include "app/object_kinds.h"
#include "platform/render/affine_draw.h"
#include "platform/render/canvas.h"
#include "platform/render/texture.h"
#include "script/conversions.h"
#include "script/global_property.h"
#include "script/number_text.h"
#include "script/property_readers.h"
#include "video/easing.h"
#include "video/keys.h"

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
  ReadSeconds(attributes, "fadein", fadein);
  ReadSeconds(attributes, "fadeout", fadeout);
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

double VideoObject::FadeAt(double time) const {
  // Fades longer than the window together are shortened to fit, as a sound's are.
  double in = fadein, out = fadeout;
  if (const double both = in + out, span = end - start; both > span) {
    in *= std::max(span, 0.0) / both;
    out *= std::max(span, 0.0) / both;
  }
  double left = 1.0;
  if (in > 0.0) left = std::min(left, (time - start) / in);
  if (out > 0.0) left = std::min(left, (end - time) / out);
  return std::clamp(left, 0.0, 1.0);
}

namespace {

// A track a key can move, and the end attributes that give its value at the window's end.
struct Keyed {
  std::string_view name;
  Track VideoObject::*track;
  const char* ends[2];
};

constexpr Keyed kKeyed[] = {
    {"x", &VideoObject::x, {"xend", "leftend"}},        {"y", &VideoObject::y, {"yend", "topend"}},
    {"width", &VideoObject::width, {"widthend", "rightend"}}, {"height", &VideoObject::height, {"heightend", "bottomend"}},
    {"r", &VideoObject::r, {"rend", nullptr}},          {"g", &VideoObject::g, {"gend", nullptr}},
    {"b", &VideoObject::b, {"bend", nullptr}},          {"a", &VideoObject::a, {"aend", nullptr}},
    {"angle", &VideoObject::angle, {"angleend", nullptr}},
};

}  // namespace

void VideoObject::ReadChildren(const AttributeMap& attributes, std::span<const ScriptTag> own) {
  const auto keys = KeyTags(own);
  if (keys.empty()) return;
  const double span = end - start;
  // Every track eases alike until a key says otherwise.
  const Ease pacing = x.Keys().front().ease;
  static const auto kNames = [] {
    std::vector<std::string_view> names;
    for (const Keyed& keyed : kKeyed) names.push_back(keyed.name);
    return names;
  }();
  const std::vector<KeyStops> stops = ReadKeyStops(context_, keys, span, pacing, kNames);
  for (size_t i = 0; i < std::size(kKeyed); ++i) {
    const bool end_given = std::any_of(std::begin(kKeyed[i].ends), std::end(kKeyed[i].ends),
                                       [&](const char* name) { return name && attributes.contains(name); });
    Track& track = this->*kKeyed[i].track;
    track = WithStops(track, stops[i], span, end_given, pacing);
  }
}

double VideoObject::Progress(double time) const {
  // An empty window (end == start) has no extent to divide by; it shows its start values.
  const double span = end - start;
  return span != 0.0 ? (time - start) / span : 0.0;
}

double VideoObject::AngleAt(double time) const { return angle.At(Progress(time)); }

void VideoObject::DrawStretched(Canvas& canvas, const Texture& texture, const Rect& rect, double time,
                                uint32_t argb) const {
  if (const double turn = AngleAt(time); IsTurned(turn)) {
    canvas.DrawTurnedTexture(texture, rect, turn, argb);
    return;
  }
  // The differences in doubles: the edges may lie anywhere in the 32-bit range.
  const auto sx = static_cast<float>((static_cast<double>(rect.right) - rect.left) / texture.Width());
  const auto sy = static_cast<float>((static_cast<double>(rect.bottom) - rect.top) / texture.Height());
  canvas.DrawTexture(texture, sx, sy, static_cast<float>(rect.left), static_cast<float>(rect.top), argb);
}

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
  // Without fades the opacity is the track's alone, as it always was.
  const double opacity = fadein > 0.0 || fadeout > 0.0 ? at(a) * FadeAt(time) : at(a);
  argb = ArgbColour(opacity, at(r), at(g), at(b));
}

}  // namespace talmora
