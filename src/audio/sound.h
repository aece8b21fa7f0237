#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "script/object.h"
#include "video/easing.h"
#include "video/keys.h"

namespace talmora {

struct Playback;
struct SoundGains;
struct SoundInfo;
struct TrackSound;

// A sound file mixed into the sound track from its start time, for the length of its window,
// played as its attributes say: from a point in the file, with volume and pan (each with an
// optional end value) and fades, playback rate and loop.
class Sound : public Object {
 public:
  explicit Sound(ScriptContext& context) : Object(context) {}

  void ReadProperties(AttributeMap& attributes) override;
  // The keys: volume and pan values the sound passes through at `at` seconds into its window.
  void ReadChildren(const AttributeMap& attributes, std::span<const ScriptTag> own) override;
  // The sound as the track mixes it, once its file proves to open: its path is printed then,
  // or why it does not open.
  std::optional<TrackSound> ForTrack();

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
  double clipstart = 0.0;
  double fadein = 0.0;
  double fadeout = 0.0;
  Ease ease;

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
  // Laid on the tracks once the window is known: an endless sound's ends with the movie.
  KeyStops volume_keys_, pan_keys_;
};

}  // namespace talmora
