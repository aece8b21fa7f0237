#include "video/image.h"

#include <algorithm>
#include <cmath>

#include "platform/console/reporter.h"
#include "platform/render/canvas.h"
#include "platform/render/clip_decoder.h"
#include "platform/render/graphics_device.h"
#include "platform/render/picture_decoder.h"
#include "platform/render/texture.h"
#include "platform/vector/vector_paint.h"
#include "script/file_path.h"
#include "script/property_readers.h"

namespace talmora {

Image::Image(ScriptContext& context) : VideoObject(context) {}

Image::~Image() = default;

void Image::ReadProperties(AttributeMap& attributes) {
  VideoObject::ReadProperties(attributes);
  ReadClipSettings(attributes);
  if (!ReadText(attributes, "src", src)) return;
  // A file that does not open keeps the name as written, so a later failure shows it unchanged.
  if (auto full = ReadableFilePath(src)) {
    src = std::move(*full);
    if (IsVectorPicture(src)) return;
    clip_seconds_ = ProbeClip(src);
    if (clip_seconds_) TakeLengthFromClip();
  }
}

void Image::ReadClipSettings(const AttributeMap& attributes) {
  std::string text;
  ReadFlag(attributes, "cliploop", cliploop);
  // Out of range, the default stays: time cannot run backwards or stand still in a clip.
  if (double value = 0.0; ReadNumber(attributes, "clipstart", value)) {
    if (value >= 0.0 && std::isfinite(value)) {
      clipstart = value;
    } else if (FindAttribute(attributes, "clipstart", text)) {
      RefuseValue(context_.reporter, "clipstart", text, Expectation::kNotNegative, &context_.outcome);
    }
  }
  if (double value = 0.0; ReadNumber(attributes, "clipspeed", value)) {
    if (value > 0.0 && std::isfinite(value)) {
      clipspeed = value;
    } else if (FindAttribute(attributes, "clipspeed", text)) {
      RefuseValue(context_.reporter, "clipspeed", text, Expectation::kPositive, &context_.outcome);
    }
  }
}

void Image::TakeLengthFromClip() {
  if (end != start) return;
  const double seconds = std::max(0.0, *clip_seconds_ - clipstart) / clipspeed;
  end = start + seconds;
  // Looping, it has no finite length for "now" and "last"; the movie maker sets its end, and
  // counts one pass towards the movie's length.
  if (cliploop && seconds > 0.0) {
    ends_with_movie_ = true;
    return;
  }
  StoreNumber("timeend", end);
  StoreNumber("duration", seconds);
}

double Image::SourceTime(double time) const {
  double played = (time - start) * clipspeed;
  const double span = clip_seconds_.value_or(0.0) - clipstart;
  if (cliploop && span > 0.0 && played >= 0.0) {
    played = std::fmod(played, span);
    // Within rounding of a whole pass is the start of the next one.
    if (span - played < 1e-9 * std::max(1.0, span)) played = 0.0;
  }
  return clipstart + played;
}

std::pair<double, double> Image::LargestExtent() const {
  // The size moves with the eased progress, which may overshoot: its extremes over each stretch.
  const auto extent = [&](const Track& size) {
    const std::span<const Key> keys = size.Keys();
    double larger = 0.0;
    for (size_t i = 0; i + 1 < keys.size(); ++i) {
      double least = 0.0, most = 1.0;
      constexpr int kSteps = 1024;
      for (int k = 0; k <= kSteps; ++k) {
        const double s = keys[i].ease.Apply(static_cast<double>(k) / kSteps);
        least = std::min(least, s);
        most = std::max(most, s);
      }
      const double first = keys[i].value, last = keys[i + 1].value;
      const double here = std::max(std::fabs(first + least * (last - first)), std::fabs(first + most * (last - first)));
      larger = i == 0 ? here : std::max(larger, here);
    }
    return larger * Scale() + 2.0;  // each edge rounds to a whole pixel
  };
  return {extent(width), extent(height)};
}

namespace {

// A vector picture is painted at most this many pixels; larger, it is stretched from that.
constexpr double kMaxVectorPixels = 16.0 * 1024 * 1024;

// Either a still picture or a moving one, shared with the elements that show the same, or a
// vector picture of the element's own with its painting at the size last drawn.
struct Picture : VideoObject::Resources {
  std::shared_ptr<const Texture> texture;
  std::shared_ptr<ClipDecoder> clip;
  std::unique_ptr<VectorPicture> vector;
  std::unique_ptr<Texture> painted;
};

// The vector picture painted at the size it is shown, within the bounds of a picture.
const Texture* PaintAtSize(Picture& picture, const Rect& rect) {
  const double across = std::fabs(static_cast<double>(rect.right) - rect.left);
  const double down = std::fabs(static_cast<double>(rect.bottom) - rect.top);
  if (across == 0 || down == 0) return nullptr;
  const double shrink = std::min({1.0, kMaxPictureSide / across, kMaxPictureSide / down,
                                  std::sqrt(kMaxVectorPixels / (across * down))});
  const int width = std::max(1, static_cast<int>(std::lround(across * shrink)));
  const int height = std::max(1, static_cast<int>(std::lround(down * shrink)));
  if (!picture.painted || picture.painted->Width() != width || picture.painted->Height() != height) {
    picture.painted = picture.vector->Paint(width, height);
  }
  return picture.painted.get();
}

}  // namespace

std::unique_ptr<VideoObject::Resources> Image::Prepare(Reporter& reporter) const {
  auto picture = std::make_unique<Picture>();
  std::string refusal;
  if (!context_.graphics) {
  } else if (IsVectorPicture(src)) {
    if (auto loaded = VectorPicture::Load(src)) picture->vector = std::move(*loaded);
  } else if (clip_seconds_) {
    const auto [across, down] = LargestExtent();
    if (auto opened = context_.graphics->OpenClip(src, {start, clipstart, clipspeed, cliploop}, across, down)) {
      picture->clip = std::move(*opened);
    } else if (opened.error().explained) {
      refusal = opened.error().what;
    }
  } else if (auto loaded = context_.graphics->LoadTexture(src)) {
    picture->texture = std::move(*loaded);
  } else if (loaded.error().explained) {
    refusal = loaded.error().what;
  }
  const bool loaded = picture->texture || picture->clip || picture->vector;
  reporter.Line(loaded ? src : "Image::Draw() : テクスチャの読み込みに失敗しました - " + src);
  if (!refusal.empty()) reporter.Line(refusal);
  if (!loaded) context_.outcome.NoteFailed();
  return loaded ? std::move(picture) : nullptr;
}

bool Image::DrawsSame(double earlier, double later, const Resources* resources) const {
  const auto* picture = static_cast<const Picture*>(resources);
  return (!picture || !picture->clip) && LooksSame(earlier, later);
}

void Image::Draw(Canvas& canvas, double time, Resources* resources) const {
  auto* picture = static_cast<Picture*>(resources);
  if (!picture) return;
  Rect rect;
  uint32_t argb = 0;
  Interpolate(time, rect, argb);
  const Texture* texture = picture->texture.get();
  if (picture->vector) {
    texture = PaintAtSize(*picture, rect);
    if (!texture) return;
  } else if (picture->clip) {
    const double across = std::fabs(static_cast<double>(rect.right) - rect.left);
    const double down = std::fabs(static_cast<double>(rect.bottom) - rect.top);
    texture = picture->clip->FrameAt(SourceTime(time), picture->clip->Width() / across, picture->clip->Height() / down);
    if (!texture) return;
  }
  DrawStretched(canvas, *texture, rect, time, argb);
}

}  // namespace talmora
