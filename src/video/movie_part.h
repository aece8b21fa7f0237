#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "video/movie_options.h"

namespace talmora {

class ActiveObjects;
class ProgressFile;
class ProgressReport;
class RunOutcome;
class VideoObject;

// What part of the movie a run renders and at what size; empty members mean the whole movie at
// the script's own size.
struct MoviePart {
  std::optional<double> frame = std::nullopt;  // the one frame shown at this time, as a picture
  std::optional<double> from = std::nullopt;   // the frames whose times lie in [from, to)
  std::optional<double> to = std::nullopt;
  std::optional<double> scale = std::nullopt;
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

// The line that says the part lies past the movie's end of `length` seconds.
std::string PastTheEndLine(const MoviePart& part, double length);

// The frame size the part is rendered at: each side times the scale, rounded, at least 1 pixel;
// even when the compressor on the command line needs it, or when the menu is to offer all.
void ScaleFrameSize(const MoviePart& part, const MovieOptions& options, int32_t& width, int32_t& height);

// The line that refuses a scale taking the script's `width` × `height` outside the sides a frame
// may have; empty when the scaled size fits, or when the script's own size does not (the render
// reports that one as it does without a scale).
std::string ScaledSizeRefusal(const MoviePart& part, const MovieOptions& options, int32_t width, int32_t height);

// Brings the active objects to where a render from frame 0 has them just before frame `first`,
// without drawing: nothing is loaded for frames that are not rendered.
void SkipFrames(ActiveObjects& active, std::vector<std::shared_ptr<VideoObject>>& pending, int32_t fps,
                int32_t first);

// Progress for a program that drives the run: a block per rendered frame, and the closing block
// when the report goes, after the last file is written. A block that cannot be written stops the
// report, not the render: one line names the file (`name`, as typed), and `outcome` notes it.
class ProgressReport {
 public:
  ProgressReport(std::unique_ptr<ProgressFile> file, std::string name, RunOutcome& outcome);
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
  RunOutcome& outcome_;
  bool told_ = false;
  int32_t total_ = 0;
  int32_t fps_ = 0;
  int32_t done_ = 0;
};

}  // namespace talmora
