#include "video/movie_maker.h"

#include <algorithm>

#include "platform/console/reporter.h"
#include "platform/movie/compressor_catalog.h"
#include "script/conversions.h"
#include "script/object_factory.h"
#include "script/property_readers.h"
#include "video/frame_picture.h"
#include "video/frame_timing.h"
#include "video/movie_render.h"
#include "video/video_object.h"

namespace talmora {

MovieMaker::MovieMaker(const ObjectFactory& factory, GraphicsDevice* graphics, MovieOptions options)
    : factory_(factory), graphics_(graphics), options_(std::move(options)) {}

MovieMaker::~MovieMaker() = default;

void MovieMaker::ReadProperties(const TagList& tags) {
  std::vector<std::shared_ptr<VideoObject>> objects;
  for (size_t i = 1; i < tags.size(); ++i) {
    for (auto& object : factory_.CreateEach<VideoObject>(tags[i])) {
      length = std::max(length, object->end);
      objects.push_back(std::move(object));
    }
  }
  RunOutcome* outcome = &factory_.Outcome();
  Reporter& reporter = factory_.Reports();
  if (!tags.empty()) {
    const AttributeMap& settings = tags.front().attributes;
    ReadPlainInteger(settings, "width", width, reporter, outcome);
    ReadPlainInteger(settings, "height", height, reporter, outcome);
    ReadPlainInteger(settings, "fps", fps, reporter, outcome);
    ReadPlainNumber(settings, "length", length, reporter, outcome);
  }
  // Endless objects counted one pass towards the length; now they last to its end.
  for (auto& object : objects) {
    if (object->EndsWithMovie()) object->end = std::max(object->end, length);
  }
  scene_ = Scene(std::move(objects));
  if (tags.empty()) return;
  const AttributeMap& settings = tags.front().attributes;
  ReadPlainNumber(settings, "r", r, reporter, outcome);
  ReadPlainNumber(settings, "g", g, reporter, outcome);
  ReadPlainNumber(settings, "b", b, reporter, outcome);
  ReadPlainNumber(settings, "a", a, reporter, outcome);
  reporter.Line("スクリプトパース完了");
}

void MovieMaker::Make(const std::string& path) {
  made = RenderMovie(PartJob(), scene_, path, factory_.Reports()) == MovieResult::kCompleted;
  if (!made) factory_.Outcome().NoteIncomplete();
}

bool MovieMaker::PartFits() const {
  // Refused before the render target, whose failure lines would not say the scale was the cause.
  if (const std::string refusal = ScaledSizeRefusal(part, options_, width, height); !refusal.empty()) {
    factory_.Reports().Line(refusal);
    return false;
  }
  if (part.piece || (!part.frame && !part.from && !part.to)) return true;
  if (PartFrames(part, fps, FrameTotal())) return true;
  factory_.Reports().Line(PastTheEndLine(part, length));
  return false;
}

bool MovieMaker::MakePicture(const std::string& path) { return RenderPicture(PartJob(), scene_, path, factory_.Reports()); }

int32_t MovieMaker::FrameTotal() const { return FrameCount(fps, length); }

FrameRange MovieMaker::Frames() {
  if (frames_) return *frames_;
  const int32_t total = FrameTotal();
  frames_ = FrameRange{0, total};
  if (part.piece && part.piece->index >= 1 && part.piece->index <= part.piece->count) {
    const CompressorInfo* info = options_.codec ? LookUpCompressor(*options_.codec) : nullptr;
    CompressorSettings settings;
    settings.keyframe = options_.keyframe.value_or(0);
    const int32_t spacing = info ? ExactRestartSpacing(*info, settings) : 1;
    const bool predicted = info && PredictsFrames(*info);
    const std::vector<int32_t> cuts =
        CutParts(FrameCosts(scene_.Objects(), fps, total, width, height, predicted), total, part.piece->count, spacing);
    const auto k = static_cast<size_t>(part.piece->index);
    frames_ = FrameRange{cuts[k - 1], cuts[k]};
  } else if (part.frame || part.from || part.to) {
    frames_ = PartFrames(part, fps, total).value_or(FrameRange{});
  }
  return *frames_;
}

MovieJob MovieMaker::PartJob() {
  MovieJob job{width, height, fps, length, ArgbColour(a, r, g, b), graphics_, &options_};
  // Before the objects are scaled: every part cuts the movie alike whatever its size.
  if (part.frame || part.from || part.to || part.piece) job.frames = Frames();
  job.made = &stream;
  if (part.scale) {
    ScaleFrameSize(part, options_, job.width, job.height);
    for (const auto& object : scene_.Objects()) object->SetScale(*part.scale);
  }
  job.progress = part.progress;
  return job;
}

}  // namespace talmora
