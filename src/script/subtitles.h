#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace talmora {

// A time inside a cue's words: from `time` on, what follows `byte` is being sung.
struct CueTimestamp {
  double time = 0.0;
  size_t byte = 0;
};

struct SubtitleCue {
  int line = 0;  // of its timing line, in the subtitle file
  double start = 0.0;
  double end = 0.0;
  // Its lines joined by line feeds, tags dropped and character references resolved.
  std::string text;
  bool bold = false;
  bool italic = false;
  std::vector<CueTimestamp> timestamps;  // ascending, inside [start, end]
};

struct SubtitleProblem {
  int line = 0;
  std::string message;
};

struct Subtitles {
  std::vector<SubtitleCue> cues;  // in file order
  std::vector<SubtitleProblem> problems;
};

// Reads an SRT file, or a WebVTT one when it opens with "WEBVTT". A cue that cannot be read is
// left out with its problem; a file that is not UTF-8 gives only that problem.
Subtitles ParseSubtitles(std::string_view content);

// From `time` on, the cue's words up to `byte` are sung.
struct SungMark {
  double time = 0.0;
  size_t byte = 0;
};

// When each part of the cue's words counts as sung: by its inline timestamps (what precedes the
// first one from the cue's start), else, when `even`, word after word over the cue's time;
// ascending. Empty when the cue's words have no such timing.
std::vector<SungMark> SungMarks(const SubtitleCue& cue, bool even);

}  // namespace talmora
