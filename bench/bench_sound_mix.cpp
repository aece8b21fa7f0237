// Mixes ten overlapping sounds into a 10-minute track through the sound maker, once for each
// sound length (1, 10 and 60 minutes by default), each in its own process so that the peak
// memory is that of one run: first plainly, then with volume, pan and an endless loop on every
// sound (which fills each window to the track's end), then plainly again brought to a loudness
// of -16 LUFS. Prints wall time, processor time, the minutes of sound mixed and peak resident
// memory. bench/sound-mix.sh runs the program itself against ffmpeg and an older build.
// Usage: bench_sound_mix [sound minutes ...]
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/runtime.h"
#include "audio/sound_maker.h"
#include "audio/wav_header.h"
#include "platform/console/reporter.h"
#include "script/xml_parser.h"

namespace talmora {
namespace {

constexpr double kTrackSeconds = 600;
constexpr int kSounds = 10;

// A stereo sine of `minutes`, written a second at a time so the writer's memory stays small.
void WriteSound(const std::string& path, int minutes) {
  const int64_t frames = int64_t{minutes} * 60 * kTrackRate;
  const WavHeaderBytes header = WavHeader(frames);
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(header.data()), header.size());
  std::vector<int16_t> second(2 * kTrackRate);
  for (int64_t done = 0; done < frames; done += kTrackRate) {
    for (int i = 0; i < kTrackRate; ++i) {
      const auto value = static_cast<int16_t>(3000 * std::sin(2 * M_PI * 440 * static_cast<double>(done + i) / kTrackRate));
      second[2 * i] = second[2 * i + 1] = value;
    }
    out.write(reinterpret_cast<const char*>(second.data()), second.size() * 2);
  }
}

long PeakKilobytes() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

double ProcessorSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

enum class Variant { kPlain, kShaped, kLoudness };

void Run(const std::filesystem::path& folder, int minutes, Variant variant) {
  const std::string sound = (folder / ("sound" + std::to_string(minutes) + ".wav")).string();
  if (!std::filesystem::exists(sound)) WriteSound(sound, minutes);
  const bool shaped = variant == Variant::kShaped;
  const char* settings = shaped ? "\" volume=\"0.8\" pan=\"0.3\" loop=\"yes\" loopcount=\"-1" : "";
  std::string script = variant == Variant::kLoudness ? "<talmora loudness=\"-16\">" : "<talmora>";
  double mixed_minutes = 0;
  for (int i = 0; i < kSounds; ++i) {
    script += "<sound time=\"" + std::to_string(i * 6) + settings + "\" src=\"" + sound + "\"/>";
    const double window = kTrackSeconds - i * 6;
    mixed_minutes += (shaped ? window : std::min(window, minutes * 60.0)) / 60;
  }
  script += "</talmora>";

  ConsoleReporter console;
  Runtime runtime(console, console);
  XMLParser parser(console);
  parser.LoadText(script);
  runtime.templates.AddTemplates(parser.Tags());
  const long before = PeakKilobytes();
  const double processor = ProcessorSeconds();
  const auto start = std::chrono::steady_clock::now();
  {
    SoundMaker maker(runtime.factory, kTrackSeconds);
    maker.ReadProperties(parser.Tags());
    maker.Make((folder / "track.wav").string());
  }
  const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - start;
  char line[300];
  std::snprintf(line, sizeof line,
                "%d sounds of %d min into a %.0f min track%s: wall %.2f s, processor %.2f s, "
                "%.0f min mixed, peak memory %.1f MB (%.1f MB before mixing)",
                kSounds, minutes, kTrackSeconds / 60,
                shaped                          ? " (volume, pan, endless loop)"
                : variant == Variant::kLoudness ? " (to -16 LUFS)"
                                                : "",
                wall.count(), ProcessorSeconds() - processor, mixed_minutes,
                static_cast<double>(PeakKilobytes()) / 1024.0, static_cast<double>(before) / 1024.0);
  console.Line(line);
}

}  // namespace
}  // namespace talmora

int main(int argc, char** argv) {
  std::vector<int> lengths;
  for (int i = 1; i < argc; ++i) lengths.push_back(std::atoi(argv[i]));
  if (lengths.empty()) lengths = {1, 10, 60};
  char pattern[] = "/tmp/bench-sound-XXXXXX";
  if (!::mkdtemp(pattern)) return 1;
  const std::filesystem::path folder = pattern;
  for (int minutes : lengths) {
    if (minutes <= 0) continue;
    using talmora::Variant;
    for (Variant variant : {Variant::kPlain, Variant::kShaped, Variant::kLoudness}) {
      const pid_t child = ::fork();
      if (child == 0) {
        talmora::Run(folder, minutes, variant);
        std::_Exit(0);
      }
      int status = 0;
      ::waitpid(child, &status, 0);
    }
    std::filesystem::remove(folder / ("sound" + std::to_string(minutes) + ".wav"));
  }
  std::filesystem::remove_all(folder);
  return 0;
}
