#pragma once

#include <cstdint>
#include <string>

#include "platform/movie/joined_file.h"

namespace talmora {

class Reporter;

// `--output PATH`: the one file joining the movie and its sound track, and the messages and
// exit status that go with it.
class JoinedOutput {
 public:
  JoinedOutput(std::string path, Reporter& reporter) : path_(std::move(path)), reporter_(reporter) {}

  const std::string& path() const { return path_; }

  // Whether PATH's container holds frames of the compressor; prints the refusal when not.
  bool Admits(uint32_t fourcc);
  bool Refused() const { return refused_; }

  // Encodes the finished track at `wav` ahead, where the file needs it encoded: on the sound
  // pass's thread, before Write.
  void Prepare(const std::string& wav);

  // After both passes: joins `avi` with `wav` (empty: the script has no sound), each when its
  // pass completed it.
  void Write(const std::string& avi, bool movie_made, const std::string& wav, bool sound_made);

  // 0 once PATH is written; otherwise 1, the failure reported (once).
  int Finish();

 private:
  void Fail(const std::string& cause);

  std::string path_;
  Reporter& reporter_;
  EncodedSoundPtr encoded_;
  bool refused_ = false;
  bool written_ = false;
  bool reported_ = false;
};

}  // namespace talmora
