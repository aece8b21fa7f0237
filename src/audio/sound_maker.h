#pragma once

#include <cstdint>
#include <memory>
#include <functional>
#include <optional>
#include <vector>

#include "script/maker.h"

namespace talmora {

class ObjectFactory;
class Sound;
struct TrackShaping;
struct TrackSound;

// Writes the ".wav" file: a silent track of the movie's length that every sound adds itself into.
class SoundMaker : public Maker {
 public:
  // Loudness targets below the meter's absolute gate could never be measured again.
  static constexpr double kQuietestTarget = -70.0;

  SoundMaker(const ObjectFactory& factory, double length);
  ~SoundMaker() override;

  void ReadProperties(const TagList& tags) override;
  void Make(const std::string& path) override;

  const double length;
  bool made = false;  // the track was written (no sounds: none is)
  // Only the samples from trunc(from × 44100) up to trunc(to × 44100) of the movie's track.
  std::optional<double> from;
  std::optional<double> to;
  // The loudness the finished track is brought to, in LUFS, from the root's "loudness".
  std::optional<double> loudness;
  // Called with the finished track's temporary path before it takes the place of the one there
  // before; it may wait.
  std::function<void(const std::string& written)> before_replacing;
  // Latest start first: mixed, and so printed, in this order.
  const std::vector<std::shared_ptr<Sound>>& Sounds() const { return sounds_; }

 private:
  // The header and a zero-filled data area of `frames` frames in `file`, which becomes the
  // track at `path`; false after printing why not.
  bool WriteSilentTrack(const std::string& file, const std::string& path, int64_t frames);
  void PrintWriteFailure(const std::string& path, int error);
  // Measures the whole track's mix and works out how to bring it to the loudness; none when
  // it is silent.
  std::optional<TrackShaping> PlanLoudness(std::vector<TrackSound>& sounds, int64_t whole) const;

  const ObjectFactory& factory_;
  std::vector<std::shared_ptr<Sound>> sounds_;
};

}  // namespace talmora
