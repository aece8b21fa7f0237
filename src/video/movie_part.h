#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "video/movie_options.h"

namespace talmora {

class ProgressFile;
class ProgressReport;
class Reporter;
class RunOutcome;
class VideoObject;

// The K-th of N parts, K from 1; K is 0 while the job engine has yet to give it.
struct PartNumber {
  int32_t index = 0;
  int32_t count = 1;
};

// What part of the movie a run renders and at what size; empty members mean the whole movie at
// the script's own size.
struct MoviePart {
  std::optional<double> frame = std::nullopt;  // the one frame shown at this time, as a picture
  std::optional<double> from = std::nullopt;   // the frames whose times lie in [from, to)
  std::optional<double> to = std::nullopt;
  std::optional<double> scale = std::nullopt;
  std::optional<PartNumber> piece = std::nullopt;  // one of the movie's cost-balanced parts
  ProgressReport* progress = nullptr;  // told of every rendered frame
};

// Frames [first, end) of the movie.
struct FrameRange {
  int32_t first = 0;
  int32_t end = 0;

  int32_t Count() const { return end - first; }
};

// The frames the part covers out of `count` frames at `fps`: for `frame`, the frame whose
// showing time i ÷ fps is the last one not after it; else those whose frame times lie in
// [from, to). Empty when it covers none (a time at or past the movie's end).
std::optional<FrameRange> PartFrames(const MoviePart& part, int32_t fps, int32_t count);

// What drawing and compressing each of `count` frames at `fps` is estimated to cost, in frames
// of nothing but background: 1 for the frame, plus for each object its share of the frame's
// area, weighted (pictures 0.8, turned ones half as much again, texts 0.05 as they are mostly
// clear), and for a moving picture 1 more for its decoding. With `predicted` frames (H.264,
// MPEG-4), a picture whose colour or opacity changes over its window costs as much again. Empty past kMostCostedFrames, whose estimate would take gigabytes.
inline constexpr int32_t kMostCostedFrames = 1 << 24;
std::vector<double> FrameCosts(const std::vector<std::shared_ptr<VideoObject>>& objects, int32_t fps, int32_t count,
                               int32_t width, int32_t height, bool predicted = false);

// Where `parts` contiguous parts of `count` frames with these `costs` (each the same when there
// are none) begin, and the last one ends: parts + 1 frame numbers from 0 to count, each cut on a
// multiple of `spacing` (or at the end) where the cost before it comes closest to its share of
// the whole. Parts may be empty when there are fewer places to cut than parts.
std::vector<int32_t> CutParts(const std::vector<double>& costs, int32_t count, int32_t parts, int32_t spacing);

// The line that says the part lies past the movie's end of `length` seconds.
std::string PastTheEndLine(const MoviePart& part, double length);

// The frame size the part is rendered at: each side times the scale, rounded, at least 1 pixel;
// even when the compressor on the command line needs it, or when the menu is to offer all.
void ScaleFrameSize(const MoviePart& part, const MovieOptions& options, int32_t& width, int32_t& height);

// The line that refuses a scale taking the script's `width` × `height` outside the sides a frame
// may have; empty when the scaled size fits, or when the script's own size does not (the render
// reports that one as it does without a scale).
std::string ScaledSizeRefusal(const MoviePart& part, const MovieOptions& options, int32_t width, int32_t height);

// Progress for a program that drives the run: a block per rendered frame, and the closing block
// when the report goes, after the last file is written. A block that cannot be written stops the
// report, not the render: one line names the file (`name`, as typed), and `outcome` notes it.
class ProgressReport {
 public:
  ProgressReport(std::unique_ptr<ProgressFile> file, std::string name, Reporter& reporter, RunOutcome& outcome);
  ~ProgressReport();
  ProgressReport(const ProgressReport&) = delete;
  ProgressReport& operator=(const ProgressReport&) = delete;

  // A render of `total` frames at `fps` begins.
  void Start(int32_t total, int32_t fps);
  void Frame();

 private:
  double Seconds() const;  // the movie time the rendered frames cover
  void TellOfFailure();

  std::unique_ptr<ProgressFile> file_;
  std::string name_;
  Reporter& reporter_;
  RunOutcome& outcome_;
  bool told_ = false;
  int32_t total_ = 0;
  int32_t fps_ = 0;
  int32_t done_ = 0;
};

}  // namespace talmora
