#pragma once

#include <cstdint>
#include <string>

#include "script/object.h"

namespace talmora {

class SoundTrack;
struct Playback;
struct SoundGains;
struct SoundInfo;

// A sound file mixed into the sound track from its start time, for the length of its window,
// played as its attributes say: volume and pan (each with an optional end value), playback rate
// and loop.
class Sound : public Object {
 public:
  explicit Sound(ScriptContext& context) : Object(context) {}

  void ReadProperties(AttributeMap& attributes) override;
  // Adds the decoded samples into the track over the window.
  void MixInto(SoundTrack& track);

  // An endless loop without a length of its own plays until the movie ends.
  bool EndsWithMovie() const { return ends_with_movie_; }

  std::string path;
  int32_t loopcount = 0;
  double loopstart = 0.0;
  double loopend = 0.0;
  bool loop = false;
  double frequency = 44100.0;
  double volume = 1.0;
  double pan = 0.0;
  double volumeend = 1.0;
  double panend = 0.0;

 private:
  // Opens the file for its length; a window without its own length ends with the playback.
  void TakeLengthFromFile();
  // The seconds the whole playback lasts, from the file's length and rate.
  double PlaybackSeconds(const SoundInfo& info) const;
  Playback PlaybackSettings() const;
  SoundGains Gains() const;

  bool frequency_given_ = false;
  bool volumeend_given_ = false;
  bool panend_given_ = false;
  bool ends_with_movie_ = false;
};

}  // namespace talmora
