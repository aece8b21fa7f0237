#include "video/movie_maker.h"

#include <algorithm>

#include "platform/console/print_line.h"
#include "script/conversions.h"
#include "script/object_factory.h"
#include "script/property_readers.h"
#include "video/movie_render.h"
#include "video/video_object.h"

namespace talmora {

MovieMaker::MovieMaker(const ObjectFactory& factory, GraphicsDevice* graphics, MovieOptions options)
    : factory_(factory), graphics_(graphics), options_(std::move(options)) {}

MovieMaker::~MovieMaker() = default;

void MovieMaker::ReadProperties(const TagList& tags) {
  for (size_t i = 1; i < tags.size(); ++i) {
    auto object = factory_.Create<VideoObject>(tags[i]);
    if (!object) continue;
    length = std::max(length, object->end);
    pending_.push_back(std::move(object));
  }
  if (!tags.empty()) {
    const AttributeMap& settings = tags.front().attributes;
    ReadPlainInteger(settings, "width", width);
    ReadPlainInteger(settings, "height", height);
    ReadPlainInteger(settings, "fps", fps);
    ReadPlainNumber(settings, "length", length);
  }
  // Endless objects counted one pass towards the length; now they last to its end.
  for (auto& object : pending_) {
    if (object->EndsWithMovie()) object->end = std::max(object->end, length);
  }
  std::stable_sort(pending_.begin(), pending_.end(),
                   [](const auto& p, const auto& q) { return ActivatesAfter(*p, *q); });
  if (tags.empty()) return;
  const AttributeMap& settings = tags.front().attributes;
  ReadPlainNumber(settings, "r", r);
  ReadPlainNumber(settings, "g", g);
  ReadPlainNumber(settings, "b", b);
  ReadPlainNumber(settings, "a", a);
  PrintLine("スクリプトパース完了");
}

void MovieMaker::Make(const std::string& path) {
  const MovieJob job{width, height, fps, length, ArgbColour(a, r, g, b), graphics_, &options_};
  RenderMovie(job, pending_, path);
}

}  // namespace talmora
