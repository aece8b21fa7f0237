#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/console/reporter.h"

namespace talmora {

class Device;
class MovieMaker;

// The script as the preview page sees it: read again whenever it changes, asked for frames at any
// time and size, for its elements' windows and for its problems. Its calls may come from many
// threads at once; the drawing is one at a time.
class Studio {
 public:
  // `full_path` is read relative to the current folder's files, as a render reads it; `scale` is
  // the command line's.
  Studio(std::string full_path, std::optional<double> scale);
  ~Studio();
  Studio(const Studio&) = delete;
  Studio& operator=(const Studio&) = delete;

  // Reads the script again. A script that does not load keeps the last one that did, for the
  // frames and the timeline, and its loader's lines are the page's error. Counts a new version
  // either way.
  void Reload();
  // Checks the script as --check does, for ProblemsJson; apart, as it takes longer than a frame.
  void Check();
  uint64_t Version() const { return version_.load(); }

  enum class Size { kView, kHalf };
  enum class Format { kPng, kJpeg };
  enum class Drawn { kDone, kOutside, kSuperseded, kNoScript, kFailed };
  // Takes a place in the queue for a frame of that size: a later ticket makes this one superseded.
  uint64_t Ticket(Size size);
  // The frame shown at `time` as --frame draws it (at half the scale for kHalf), encoded into
  // `bytes`. kOutside for a time not in [0, length); kSuperseded when a newer ticket of the size
  // came before its turn, so that fast scrubbing never queues renders.
  Drawn Frame(uint64_t ticket, Size size, double time, Format format, std::string& bytes);
  // The mixed track of [from, to), clipped to the movie, as a WAV file's bytes.
  Drawn Sound(double from, double to, std::string& bytes);

  // JSON: the movie's settings, the loader's error if any, each element with its tag, line,
  // window and depth.
  std::string TimelineJson();
  // JSON: the check's problems, each with its line.
  std::string ProblemsJson();
  // The script's text as it is on disk now, for the page to show a line of.
  std::string Source() const;
  // Every file the script names that exists, and the script: what a change of must reload.
  std::vector<std::string> WatchedFiles();

 private:
  struct Take;
  // The take's maker for that size, read at the first ask: most pages never play.
  MovieMaker& MakerOf(Take& take, Size size);

  const std::string full_path_;
  const std::optional<double> scale_;
  HeldReporter device_lines_;
  std::unique_ptr<Device> device_;
  std::mutex mutex_;
  std::shared_ptr<Take> take_;      // the last script that loaded
  std::shared_ptr<Take> previous_;  // the one before, until the new one has drawn
  std::string error_;            // the loader's lines when the last read failed
  std::string problems_json_;
  std::atomic<uint64_t> version_{0};
  std::atomic<uint64_t> tickets_{0};
  std::atomic<uint64_t> newest_[2] = {0, 0};
};

}  // namespace talmora
