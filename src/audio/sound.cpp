#include "audio/sound.h"

#include <algorithm>
#include <cmath>
#include <memory>

#include "audio/sound_track.h"
#include "audio/wav_header.h"
#include "platform/console/reporter.h"
#include "platform/sound/sound_system.h"
#include "script/file_path.h"
#include "script/property_readers.h"

namespace talmora {
namespace {

SoundSystem* SoundSystemOf(const ScriptContext& context) { return context.sounds; }

void PrintNoSoundSystem(const std::string& path, ScriptContext& context) {
  context.reporter.Line("エラー : サウンドシステムが使用できません : " + path);
  context.outcome.NoteFailed();
}

void PrintLoadFailure(const std::string& path, const Error& status, ScriptContext& context) {
  context.reporter.Line("サウンドの読み込みに失敗しました : " + path + "(" + std::to_string(status.code) + ")");
  context.outcome.NoteFailed();
}

double UsableVolume(double volume, double otherwise) {
  return volume >= 0.0 ? std::min(volume, SoundGains::kMaxGain) : otherwise;
}

double UsablePan(double pan) { return std::isnan(pan) ? 0.0 : std::clamp(pan, -1.0, 1.0); }

double UsableSeconds(double seconds) { return std::isnan(seconds) ? 0.0 : seconds; }

}  // namespace

void Sound::ReadProperties(AttributeMap& attributes) {
  Object::ReadProperties(attributes);
  ReadFlag(attributes, "loop", loop);
  ReadInteger(attributes, "loopcount", loopcount);
  ReadNumber(attributes, "loopstart", loopstart);
  ReadNumber(attributes, "loopend", loopend);
  frequency_given_ = ReadNumber(attributes, "frequency", frequency);
  ReadNumber(attributes, "volume", volume);
  ReadNumber(attributes, "pan", pan);
  volumeend_given_ = ReadNumber(attributes, "volumeend", volumeend);
  panend_given_ = ReadNumber(attributes, "panend", panend);
  ReadSeconds(attributes, "clipstart", clipstart);
  ReadSeconds(attributes, "fadein", fadein);
  ReadSeconds(attributes, "fadeout", fadeout);
  if (std::string word; ReadText(attributes, "ease", word)) {
    if (auto parsed = ParseEase(word)) {
      ease = *parsed;
    } else {
      PrintInvalidValue(context_.reporter, "ease", word, &context_.outcome);
    }
  }
  if (!ReadText(attributes, "src", path)) return;
  if (auto full = ReadableFilePath(path)) path = std::move(*full);
  TakeLengthFromFile();
}

void Sound::ReadChildren(const AttributeMap& /*attributes*/, std::span<const ScriptTag> own) {
  const auto keys = KeyTags(own);
  if (keys.empty()) return;
  static constexpr std::string_view kNames[] = {"volume", "pan"};
  auto stops = ReadKeyStops(context_, keys, ends_with_movie_ ? INFINITY : end - start, ease, kNames);
  volume_keys_ = std::move(stops[0]);
  pan_keys_ = std::move(stops[1]);
}

void Sound::TakeLengthFromFile() {
  SoundSystem* system = SoundSystemOf(context_);
  if (!system) {
    PrintNoSoundSystem(path, context_);
    return;
  }
  // A window of its own needs only the proof that the file decodes, not its length.
  if (end != start) {
    if (const auto opened = system->OpenStream(path); !opened) PrintLoadFailure(path, opened.error(), context_);
    return;
  }
  const auto measured = system->MeasureStream(path);
  if (!measured) {
    PrintLoadFailure(path, measured.error(), context_);
    return;
  }
  const SoundInfo& info = *measured;
  const double seconds = PlaybackSeconds(info);
  // Endless: the sound maker, which knows the movie's end, sets it; "now" and "last" have
  // no finite length to take.
  if (std::isinf(seconds)) {
    ends_with_movie_ = true;
    return;
  }
  end = start + seconds;
  StoreNumber("timeend", end);
  StoreNumber("duration", seconds);
}

double Sound::PlaybackSeconds(const SoundInfo& info) const {
  const double length = static_cast<double>(info.length_ms) * 0.001;
  const Playback playback = PlaybackSettings();
  const double begin = std::min(playback.start, length);
  if (playback.rate == 0 && playback.repeats == 0) return length - begin;
  double seconds = length - begin;
  if (playback.repeats != 0) {
    const double loop_start = std::clamp(playback.loop_start, 0.0, length);
    const double loop_end =
        playback.loop_end > playback.loop_start ? std::min(playback.loop_end, length) : length;
    const double stretch = std::max(0.0, loop_end - loop_start);
    // A start at or after the loop's end never comes back to it.
    if (begin < loop_end) {
      if (stretch > 0.0 && playback.repeats < 0) return INFINITY;
      seconds += playback.repeats * stretch;
    }
  }
  if (playback.rate > 0 && info.rate > 0) seconds = seconds * info.rate / playback.rate;
  return seconds;
}

Playback Sound::PlaybackSettings() const {
  Playback playback;
  // Only a rate of its own changes the speed: a file plays at its natural speed whatever its rate.
  if (frequency_given_ && frequency > 0.0) {
    playback.rate = static_cast<int>(std::clamp(std::round(std::min(frequency, 1e9)),
                                                double{kMinSoundRate}, double{kMaxSoundRate}));
  }
  playback.start = clipstart;
  if (loop) {
    playback.repeats = loopcount;
    playback.loop_start = UsableSeconds(loopstart);
    playback.loop_end = UsableSeconds(loopend);
  }
  return playback;
}

SoundGains Sound::Gains() const {
  SoundGains gains;
  const double first_volume = UsableVolume(volume, 1.0), first_pan = UsablePan(pan);
  gains.volume = Track(first_volume);
  gains.volume.SetLast(volumeend_given_ ? UsableVolume(volumeend, first_volume) : first_volume);
  gains.pan = Track(first_pan);
  gains.pan.SetLast(panend_given_ ? UsablePan(panend) : first_pan);
  gains.volume.SetEase(ease);
  gains.pan.SetEase(ease);
  const double span = end - start;
  const auto laid = [&](const Track& track, KeyStops stops, bool end_given, auto usable) {
    for (auto& [at, stop] : stops) stop.value = usable(stop.value);
    return WithStops(track, stops, span, end_given, ease);
  };
  gains.volume = laid(gains.volume, volume_keys_, volumeend_given_,
                      [](double v) { return std::clamp(v, 0.0, SoundGains::kMaxGain); });
  gains.pan = laid(gains.pan, pan_keys_, panend_given_, UsablePan);
  gains.fade_in = fadein;
  gains.fade_out = fadeout;
  gains.ease = ease;
  return gains;
}

std::optional<TrackSound> Sound::ForTrack() {
  SoundSystem* system = SoundSystemOf(context_);
  if (!system) {
    PrintNoSoundSystem(path, context_);
    return std::nullopt;
  }
  if (const auto opened = system->OpenStream(path); !opened) {
    PrintLoadFailure(path, opened.error(), context_);
    return std::nullopt;
  }
  context_.reporter.Line(path);
  TrackSound sound;
  sound.window = WindowFrames(start, end);
  sound.gains = Gains();
  sound.open = [this, system](bool report) {
    auto opened = system->OpenDecoded(path, PlaybackSettings());
    if (!opened) {
      if (report) PrintLoadFailure(path, opened.error(), context_);
      return std::unique_ptr<SoundDecoder>();
    }
    return std::move(*opened);
  };
  return sound;
}

}  // namespace talmora
