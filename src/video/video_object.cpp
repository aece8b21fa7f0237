#include "video/video_object.h"

#include <string>

#include "script/conversions.h"
#include "script/global_property.h"
#include "script/property_readers.h"

namespace talmora {

VideoObject::VideoObject(ScriptContext& context)
    : Object(context),
      width(context.global.width),
      height(context.global.height),
      widthend(context.global.width),
      heightend(context.global.height) {}

void VideoObject::ReadProperties(AttributeMap& attributes) {
  Object::ReadProperties(attributes);
  ReadEdges(attributes);
  ReadPlacement(attributes);
  ReadPair(attributes, "z", z, zend);
  ReadPair(attributes, "r", r, rend);
  ReadPair(attributes, "g", g, gend);
  ReadPair(attributes, "b", b, bend);
  ReadPair(attributes, "a", a, aend);
  ReadPair(attributes, "angle", angle, angleend);
  std::string word;
  if (ReadText(attributes, "ease", word)) {
    if (auto parsed = ParseEase(word)) {
      ease = *parsed;
    } else {
      PrintInvalidValue(context_.reporter, "ease", word, &context_.outcome);
    }
  }
}

// The edge form: "right" means something only after "left", and so on.
void VideoObject::ReadEdges(const AttributeMap& attributes) {
  double value = 0.0;
  if (ReadNumber(attributes, "left", value)) {
    x = xend = value;
    StoreNumber("x", x);
    if (ReadNumber(attributes, "right", value)) {
      width = widthend = value - x;
      StoreNumber("width", width);
    }
  }
  if (ReadNumber(attributes, "leftend", value)) {
    xend = value;
    StoreNumber("xend", xend);
    if (ReadNumber(attributes, "rightend", value)) {
      widthend = value - xend;
      StoreNumber("widthend", widthend);
    }
  }
  if (ReadNumber(attributes, "top", value)) {
    y = yend = value;
    StoreNumber("y", y);
    if (ReadNumber(attributes, "bottom", value)) {
      height = heightend = value - y;
      StoreNumber("height", height);
    }
  }
  if (ReadNumber(attributes, "topend", value)) {
    yend = value;
    StoreNumber("yend", yend);
    if (ReadNumber(attributes, "bottomend", value)) {
      heightend = value - yend;
      StoreNumber("heightend", heightend);
    }
  }
}

// The plain form, read after the edges so that it wins; each records its edge counterpart.
void VideoObject::ReadPlacement(const AttributeMap& attributes) {
  double value = 0.0;
  if (ReadNumber(attributes, "x", value)) {
    x = xend = value;
    StoreNumber("left", x);
  }
  if (ReadNumber(attributes, "xend", value)) {
    xend = value;
    StoreNumber("leftend", xend);
  }
  if (ReadNumber(attributes, "y", value)) {
    y = yend = value;
    StoreNumber("top", y);
  }
  if (ReadNumber(attributes, "yend", value)) {
    yend = value;
    StoreNumber("topend", yend);
  }
  if (ReadNumber(attributes, "width", value)) {
    width = widthend = value;
    StoreNumber("right", x + width);
  }
  if (ReadNumber(attributes, "widthend", value)) {
    widthend = value;
    StoreNumber("rightend", xend + widthend);
  }
  if (ReadNumber(attributes, "height", value)) {
    height = heightend = value;
    StoreNumber("bottom", y + height);
  }
  if (ReadNumber(attributes, "heightend", value)) {
    heightend = value;
    StoreNumber("bottomend", yend + heightend);
  }
}

void VideoObject::ReadPair(const AttributeMap& attributes, const char* name, double& first,
                           double& last) {
  if (ReadNumber(attributes, name, first)) last = first;
  ReadNumber(attributes, std::string(name) + "end", last);
}

double VideoObject::Progress(double time) const {
  // An empty window (end == start) has no extent to divide by; it shows its start values.
  const double span = end - start;
  return ease.Apply(span != 0.0 ? (time - start) / span : 0.0);
}

double VideoObject::AngleAt(double time) const {
  const double s = Progress(time);
  return (1.0 - s) * angle + s * angleend;
}

void VideoObject::Interpolate(double time, Rect& rect, uint32_t& argb) const {
  if (time < start || time > end) {
    rect = Rect{};
    argb = 0;
    return;
  }
  const double s = Progress(time);
  const double c = 1.0 - s;
  const auto edge = [](double value) { return SaturateToInt32(value + 0.5); };
  rect.left = edge(scale_ * (c * x + s * xend));
  rect.top = edge(scale_ * (c * y + s * yend));
  rect.right = edge(scale_ * (c * (x + width) + s * (xend + widthend)));
  rect.bottom = edge(scale_ * (c * (y + height) + s * (yend + heightend)));
  argb = ArgbColour(c * a + s * aend, c * r + s * rend, c * g + s * gend, c * b + s * bend);
}

}  // namespace talmora
