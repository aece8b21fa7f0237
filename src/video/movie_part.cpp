#include "video/movie_part.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/console/reporter.h"
#include "platform/console/progress_file.h"
#include "platform/movie/compressor_catalog.h"
#include "platform/render/frame.h"
#include "script/conversions.h"
#include "script/number_text.h"
#include "script/run_outcome.h"
#include "video/frame_timing.h"
#include "video/image.h"
#include "video/text.h"

namespace talmora {
namespace {

// A first guess at a frame number for a time, clamped to [0, count]; the callers walk from it
// to the exact frame by the same doubles the render compares.
int32_t GuessFrame(double seconds, int32_t fps, int32_t count) {
  const double guess = std::floor(seconds * fps);
  if (!(guess > 0)) return 0;
  return guess >= count ? count : static_cast<int32_t>(guess);
}

// The first frame, of `count`, whose frame time is at or after `seconds`.
int32_t FirstFrameFrom(double seconds, int32_t fps, int32_t count) {
  int32_t i = GuessFrame(seconds, fps, count);
  while (i > 0 && FrameTime(i - 1, fps) >= seconds) --i;
  while (i < count && FrameTime(i, fps) < seconds) ++i;
  return i;
}

double ShowingTime(int32_t index, int32_t fps) { return static_cast<double>(index) / fps; }

int32_t ScaledSide(int32_t side, double scale, bool even) {
  // A side the render target refuses anyway stays as it is, and so does its message.
  if (side <= 0) return side;
  const double exact = side * scale;
  if (even) return std::max(2, SaturateToInt32(std::round(exact / 2)) * 2);
  return std::max(1, SaturateToInt32(std::round(exact)));
}

bool SidesFit(int32_t width, int32_t height) {
  return width >= 1 && height >= 1 && width <= Frame::kMaxSide && height <= Frame::kMaxSide;
}

// The first frame, of `count`, whose frame time lies after `seconds`: where an object starting
// then is first drawn, or the one after an object ending then is last drawn.
int32_t FirstFrameAfter(double seconds, int32_t fps, int32_t count) {
  int32_t i = GuessFrame(seconds, fps, count);
  while (i > 0 && FrameTime(i - 1, fps) > seconds) --i;
  while (i < count && !(FrameTime(i, fps) > seconds)) ++i;
  return i;
}

// What one object adds to a frame's cost, in frames: its share of the frame's area, with the
// weights measured on the reference scene (a picture over the whole frame costs 0.7 to 1 times a
// frame's own clearing and compression, a text's mostly clear rectangle next to nothing, and a
// fade in H.264 about as much again as the picture).
double ObjectCost(const VideoObject& object, double time, double width, double height, bool predicted) {
  constexpr double kPicture = 0.8;
  constexpr double kFading = 2.0;    // predicted from the frame before, it changes all over
  constexpr double kText = 0.05;
  constexpr double kTurned = 1.5;    // filtered, with smoothed edges
  constexpr double kDecoding = 1.0;  // a clip's frame, whatever its size on screen
  Rect rect;
  uint32_t argb = 0;
  object.Interpolate(time, rect, argb);
  const auto across = [](double a, double b, double side) {
    return std::max(0.0, std::min(std::max(a, b), side) - std::max(std::min(a, b), 0.0));
  };
  double share = across(rect.left, rect.right, width) * across(rect.top, rect.bottom, height) / (width * height);
  if (std::fmod(object.AngleAt(time), 360.0) != 0.0) share = std::min(1.0, share * kTurned);
  if (dynamic_cast<const Text*>(&object)) return share * kText;
  const auto* image = dynamic_cast<const Image*>(&object);
  const auto moves = [](const Track& track) {
    for (const Key& key : track.Keys()) {
      if (key.value != track.First()) return true;
    }
    return false;
  };
  const bool fading = moves(object.a) || moves(object.r) || moves(object.g) || moves(object.b) ||
                      object.fadein > 0.0 || object.fadeout > 0.0;
  return share * kPicture * (predicted && fading ? kFading : 1.0) + (image && image->ClipSeconds() ? kDecoding : 0.0);
}

}  // namespace

std::vector<double> FrameCosts(const std::vector<std::shared_ptr<VideoObject>>& objects, int32_t fps, int32_t count,
                               int32_t width, int32_t height, bool predicted) {
  if (count > kMostCostedFrames) return {};
  std::vector<double> costs(static_cast<size_t>(std::max(count, 0)), 1.0);
  if (fps <= 0 || count <= 0 || width <= 0 || height <= 0) return costs;
  // An object is drawn in the frames whose time lies in (start, end], as the render activates it.
  std::vector<FrameRange> shown;
  double drawn = 0.0;
  for (const auto& object : objects) {
    // A start that is not a number is never reached (and would be searched for to the end).
    const int32_t first = std::isnan(object->start) ? count : FirstFrameAfter(object->start, fps, count);
    shown.push_back({first, std::max(first, FirstFrameAfter(object->end, fps, count))});
    drawn += shown.back().Count();
  }
  // A script of many long objects is sampled every few frames, so the estimate stays quick.
  constexpr double kMostSamples = 4e6;
  const auto stride = static_cast<int32_t>(std::ceil(std::max(1.0, drawn / kMostSamples)));
  for (size_t n = 0; n < objects.size(); ++n) {
    double cost = 0.0;
    for (int32_t i = shown[n].first; i < shown[n].end; ++i) {
      if ((i - shown[n].first) % stride == 0) cost = ObjectCost(*objects[n], FrameTime(i, fps), width, height, predicted);
      costs[static_cast<size_t>(i)] += cost;
    }
  }
  return costs;
}

std::vector<int32_t> CutParts(const std::vector<double>& costs, int32_t count, int32_t parts, int32_t spacing) {
  spacing = std::max(spacing, 1);
  const bool uniform = costs.size() != static_cast<size_t>(std::max(count, 0));
  std::vector<double> sums(uniform ? 0 : costs.size() + 1, 0.0);
  for (size_t i = 0; i < costs.size() && !uniform; ++i) sums[i + 1] = sums[i] + costs[i];
  // The cost of the frames before frame i.
  const auto before = [&](int32_t i) { return uniform ? static_cast<double>(i) : sums[static_cast<size_t>(i)]; };
  std::vector<int32_t> cuts{0};
  for (int32_t k = 1; k < parts; ++k) {
    const double share = before(count) * k / parts;
    const int32_t reached =
        uniform ? static_cast<int32_t>(std::ceil(share))
                : static_cast<int32_t>(std::lower_bound(sums.begin(), sums.end(), share) - sums.begin());
    // The places to cut on either side of the share: the first at or past it, and the one before.
    const auto after = static_cast<int32_t>(std::min<int64_t>(count, (int64_t{reached} + spacing - 1) / spacing * spacing));
    const int32_t prior = after == count && count % spacing != 0 ? count / spacing * spacing : after - spacing;
    int32_t cut = after;
    if (prior >= 0 && share - before(prior) <= before(after) - share) cut = prior;
    cuts.push_back(std::max(cut, cuts.back()));
  }
  cuts.push_back(std::max(count, 0));
  return cuts;
}

std::optional<FrameRange> PartFrames(const MoviePart& part, int32_t fps, int32_t count) {
  if (fps <= 0 || count <= 0) return std::nullopt;
  if (part.frame) {
    // The frame on screen at the time: the frame time's tiny bias decides which objects a frame
    // shows, not which frame a viewer sees at a whole second.
    const double time = *part.frame;
    int32_t i = GuessFrame(time, fps, count);
    while (i > 0 && ShowingTime(i, fps) > time) --i;
    while (i + 1 <= count && ShowingTime(i + 1, fps) <= time) ++i;
    if (i >= count) return std::nullopt;
    return FrameRange{i, i + 1};
  }
  const int32_t first = part.from ? FirstFrameFrom(*part.from, fps, count) : 0;
  const int32_t end = part.to ? FirstFrameFrom(*part.to, fps, count) : count;
  if (first >= end) return std::nullopt;
  return FrameRange{first, end};
}

std::string PastTheEndLine(const MoviePart& part, double length) {
  std::string asked;
  if (part.frame) asked = "--frame " + Shortest(*part.frame);
  if (part.from) asked = "--from " + Shortest(*part.from);
  if (part.to) asked += std::string(asked.empty() ? "" : " ") + "--to " + Shortest(*part.to);
  return "エラー : " + asked + " の時刻に描くフレームがありません (動画の長さ " + Shortest(length) + " 秒)";
}

void ScaleFrameSize(const MoviePart& part, const MovieOptions& options, int32_t& width, int32_t& height) {
  if (!part.scale) return;
  const CompressorInfo* info = options.codec ? LookUpCompressor(*options.codec) : nullptr;
  // A picture has no compressor to please.
  const bool even = !part.frame && (options.codec ? info && info->even_sides : true);
  width = ScaledSide(width, *part.scale, even);
  height = ScaledSide(height, *part.scale, even);
}

std::string ScaledSizeRefusal(const MoviePart& part, const MovieOptions& options, int32_t width, int32_t height) {
  if (!part.scale || !SidesFit(width, height)) return {};
  ScaleFrameSize(part, options, width, height);
  if (SidesFit(width, height)) return {};
  return "エラー : --scale " + Shortest(*part.scale) + " では動画の大きさが " + std::to_string(width) + " × " +
         std::to_string(height) + " になり使えません。幅・高さとも 1 から " + std::to_string(Frame::kMaxSide) +
         " までです";
}

ProgressReport::ProgressReport(std::unique_ptr<ProgressFile> file, std::string name, Reporter& reporter,
                               RunOutcome& outcome)
    : file_(std::move(file)), name_(std::move(name)), reporter_(reporter), outcome_(outcome) {}

ProgressReport::~ProgressReport() {
  file_->End(done_, total_, Seconds());
  TellOfFailure();
}

void ProgressReport::Start(int32_t total, int32_t fps) {
  total_ = total;
  fps_ = fps;
  done_ = 0;
}

void ProgressReport::Frame() {
  ++done_;
  file_->Frame(done_, total_, Seconds());
  TellOfFailure();
}

void ProgressReport::TellOfFailure() {
  if (told_ || file_->Error() == 0) return;
  told_ = true;
  reporter_.Line("エラー : 進み具合の出力先に書き込めなくなったため、進み具合の出力を止めます : " + name_ + " (" +
            std::strerror(file_->Error()) + ")");
  outcome_.NoteFailed();
}

double ProgressReport::Seconds() const { return fps_ > 0 ? static_cast<double>(done_) / fps_ : 0.0; }

}  // namespace talmora
