// The ".wav" file as a user gets it: messages of both passes, the track's bytes.

#include <ebur128.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <filesystem>

#include "sound/sound_files.h"
#include "support/cli_harness.h"
#include "support/dib_frames.h"

namespace talmora {
namespace {

using namespace testing;

constexpr int kRate = 44100;
// The header of a 10-second track: data 1764000 bytes (0x1AEAA0), RIFF size 1764036.
const std::string kTenSecondHeader(
    "RIFF\xC4\xEA\x1A\x00" "WAVEfmt " "\x10\x00\x00\x00" "\x01\x00" "\x02\x00"
    "\x44\xAC\x00\x00" "\x10\xB1\x02\x00" "\x04\x00" "\x10\x00" "data\xA0\xEA\x1A\x00", 44);

// A script whose movie is tiny to render, so that the run is about its sounds.
std::string Script(const std::string& length, const std::string& body) {
  return "<talmora width=\"16\" height=\"16\" fps=\"1\" length=\"" + length + "\">" + body + "</talmora>";
}

// The movie pass's lines open the output and the sound pass's lines close it.
void ExpectOutput(const RunResult& result, const std::string& movie_pass, const std::string& sound_pass,
                  int status = 0) {
  EXPECT_TRUE(result.out.starts_with(kDeviceLines + "XMLのパースが完了しました\n" + movie_pass +
                                     "スクリプトパース完了\n")) << result.out;
  EXPECT_TRUE(result.out.ends_with(sound_pass + kClosingLine)) << result.out;
  EXPECT_EQ(result.status, status);
}

TEST(SoundTrack, SoundsFillTheirWindowsAsTheirAttributesSayLatestFirst) {
  TempDir dir;
  const std::vector<int16_t> noise = test::Noise(2, 154350, 1), one = test::Noise(2, kRate, 2);  // 3.5 s, 1 s
  const std::vector<int16_t> short_noise = test::Noise(2, 13230, 3);  // 0.3 s
  dir.Write("noise.wav", test::Wav(kRate, 2, 16, noise));
  dir.Write("one.wav", test::Wav(kRate, 2, 16, one));
  dir.Write("short.wav", test::Wav(kRate, 2, 16, short_noise));
  const std::vector<int16_t> mono = test::Noise(1, kRate, 4), deep = test::Noise(2, kRate, 5);
  std::vector<int16_t> both;  // the mono file on both sides
  for (int16_t v : mono) both.insert(both.end(), {v, v});
  dir.Write("mono.wav", test::Wav(kRate, 1, 16, mono));
  dir.Write("deep.wav", test::Wav(kRate, 2, 24, deep));
  const std::string n = (dir / "noise.wav") + "\n", o = (dir / "one.wav") + "\n", s = (dir / "short.wav") + "\n";
  // Frames `at` on hold the file's frames from `file_frame` on, times the gains; a ramp rises
  // from 0 at `at` to the gains at the end of the stretch.
  struct Placed {
    const std::vector<int16_t>& file;
    int64_t at, frames, file_frame;
    double left = 1, right = 1;
    bool ramp = false;
  };
  struct Case { std::string body, lines; std::vector<Placed> placed; int status = 0; };
  const Case cases[] = {
      {R"(<sound time="2" duration="1" src="noise.wav"/>)", n, {{noise, 88200, kRate, 0}}},
      // Loop settings without loop="yes" change nothing.
      {R"(<sound time="2" duration="1" loopcount="3" loopstart="0.1" loopend="0.2" src="noise.wav"/>)", n,
       {{noise, 88200, kRate, 0}}},
      {R"(<sound time="2" duration="1" volume="0.5" src="noise.wav"/>)", n, {{noise, 88200, kRate, 0, 0.5, 0.5}}},
      {R"(<sound time="2" duration="1" volume="0" src="noise.wav"/>)", n, {}},
      {R"(<sound time="2" duration="1" pan="-1" src="noise.wav"/>)", n, {{noise, 88200, kRate, 0, 1, 0}}},
      {R"(<sound time="2" duration="1" volume="0" volumeend="1" src="noise.wav"/>)", n,
       {{noise, 88200, kRate, 0, 1, 1, true}}},
      {R"(<sound time="0.00001" duration="0.001" src="noise.wav"/>)", n, {{noise, 0, 44, 0}}},
      // Before time 0 the file is skipped, not the header written; its last frame lands at 110249.
      {R"(<sound time="-1" src="noise.wav"/>)", n, {{noise, 0, 110250, kRate}}},
      // Without a length a sound ends with its file; "now" and "last" take its end and duration.
      {R"(<sound time="2" src="noise.wav"/><sound time="now" duration="last" src="one.wav"/>)", o + n,
       {{noise, 88200, 154350, 0}, {one, 242550, kRate, 0}}},
      // Up to the loop's end, its stretch twice more, then on to the end: 0.5 s in all.
      {R"(<sound time="1" loop="yes" loopcount="2" loopstart="0.1" loopend="0.2" src="short.wav"/>)"
       R"(<sound time="now" duration="last" src="one.wav"/>)", o + s,
       {{short_noise, 44100, 8820, 0}, {short_noise, 52920, 4410, 4410}, {short_noise, 57330, 4410, 4410},
        {short_noise, 61740, 4410, 8820}, {one, 66150, 22050, 0}}},
      // Endless: as long as the window, or to the movie's end without one.
      {R"(<sound time="0" duration="3" loop="yes" loopcount="-1" src="one.wav"/>)"
       R"(<sound time="7" loop="yes" loopcount="-1" src="one.wav"/>)", o + o,
       {{one, 0, kRate, 0}, {one, kRate, kRate, 0}, {one, 2 * kRate, kRate, 0},
        {one, 7 * kRate, kRate, 0}, {one, 8 * kRate, kRate, 0}, {one, 9 * kRate, kRate, 0}}},
      // Begun a billion loops ago: whole repetitions are skipped, not decoded.
      {R"(<sound time="-1000000000" loop="yes" loopcount="-1" src="one.wav"/>)", o,
       {{one, 0, 10 * kRate, 0}}},
      // A mono file plays on both sides as it is; 24 bits give their top 16.
      {R"(<sound time="1" src="mono.wav"/><sound time="3" src="deep.wav"/><sound time="2" src="one.wav"/>)",
       (dir / "deep.wav") + "\n" + o + (dir / "mono.wav") + "\n",
       {{both, 44100, kRate, 0}, {one, 88200, kRate, 0}, {deep, 132300, kRate, 0}}},
      // From a point in the file, its own samples from there on: 2.5 s of 3.5.
      {R"(<sound time="2" clipstart="1" src="noise.wav"/>)", n, {{noise, 88200, 110250, kRate}}},
      // Loop points stay in the file's time: from inside the stretch to its end, the stretch
      // once more, then on; from past its end, no loop at all, and "now" follows.
      {R"(<sound time="1" clipstart="0.15" loop="yes" loopcount="1" loopstart="0.1" loopend="0.2" src="short.wav"/>)", s,
       {{short_noise, 44100, 2205, 6615}, {short_noise, 46305, 4410, 4410}, {short_noise, 50715, 4410, 8820}}},
      {R"(<sound time="1" clipstart="0.25" loop="yes" loopcount="-1" loopstart="0.1" loopend="0.2" src="short.wav"/>)"
       R"(<sound time="now" duration="0.1" src="one.wav"/>)", o + s,
       {{short_noise, 44100, 2205, 11025}, {one, 46305, 4410, 0}}},
      // Keys: up from 0 to the first, which then holds; the template's keys come first, a key at 0
      // is the start value; an endless sound's keys fall in the window it gets from the movie.
      {R"(<sound time="2" duration="1" volume="0" src="noise.wav"><key at="0.5" volume="1"/></sound>)", n,
       {{noise, 88200, 22050, 0, 1, 1, true}, {noise, 110250, 22050, 22050}}},
      {R"(<template name="t"><key at="0" pan="-1" volume="2"/></template>)"
       R"(<sound template="t" time="2" duration="1" src="noise.wav"><key at="0" volume="0.5"/></sound>)", n,
       {{noise, 88200, kRate, 0, 0.5, 0}}},
      {R"(<sound time="7" volume="0" loop="yes" loopcount="-1" src="one.wav"><key at="1" volume="1"/></sound>)", o,
       {{one, 7 * kRate, kRate, 0, 1, 1, true}, {one, 8 * kRate, kRate, 0}, {one, 9 * kRate, kRate, 0}}},
      // A fade-in as long as the window is the volume ramp from 0.
      {R"(<sound time="2" duration="1" fadein="1" src="noise.wav"/>)", n, {{noise, 88200, kRate, 0, 1, 1, true}}},
  };
  for (const Case& c : cases) {
    ExpectOutput(RunScript(dir, Script("10", c.body)), "", c.lines, c.status);
    EXPECT_EQ(ReadFile(dir / "movie.wav").substr(0, 44), kTenSecondHeader);
    std::vector<double> expected(2 * 10 * kRate, 0);
    for (const Placed& p : c.placed) {
      for (int64_t i = 0; i < 2 * p.frames; ++i) {
        const double ramp = p.ramp ? static_cast<double>(i / 2) / static_cast<double>(p.frames) : 1.0;
        const int64_t from = (2 * p.file_frame + i) % static_cast<int64_t>(p.file.size());  // looped
        expected[2 * p.at + i] = p.file[from] * ramp * (i % 2 ? p.right : p.left);
      }
    }
    const std::vector<int16_t> track = test::TrackSamples(dir / "movie.wav");
    ASSERT_EQ(track.size(), expected.size());
    size_t wrong = 0;
    for (size_t i = 0; i < track.size(); ++i) wrong += std::abs(track[i] - expected[i]) > 0.5;  // to the nearest
    EXPECT_EQ(wrong, 0u) << c.body;
  }
}

// A sine of `frames` frames at `rate`, 200 Hz: smooth enough to survive resampling.
std::vector<int16_t> Sine(int rate, int64_t frames) {
  std::vector<int16_t> samples(static_cast<size_t>(2 * frames));
  for (int64_t i = 0; i < frames; ++i) {
    samples[2 * i] = samples[2 * i + 1] = static_cast<int16_t>(10000 * std::sin(2 * M_PI * 200 * static_cast<double>(i) / rate));
  }
  return samples;
}

TEST(SoundTrack, FrequencySetsTheSpeedAndTheLengthAFilesOwnRateDoesNot) {
  TempDir dir;
  const std::vector<int16_t> sine = Sine(kRate, kRate), one = test::Noise(2, kRate, 2);
  dir.Write("sine.wav", test::Wav(kRate, 2, 16, sine));
  dir.Write("sine48.wav", test::Wav(48000, 2, 16, Sine(48000, 48000)));
  dir.Write("one.wav", test::Wav(kRate, 2, 16, one));
  // Twice as fast: every other sample, over half the time, and "now" half as far; the 48000 Hz
  // file lasts its second.
  ExpectOutput(RunScript(dir, Script("10", R"(<sound time="0" frequency="88200" src="sine.wav"/>)"
                                           R"(<sound time="now" duration="0.1" src="one.wav"/>)"
                                           R"(<sound time="2" src="sine48.wav"/>)"
                                           R"(<sound time="now" duration="0.1" src="one.wav"/>)")),
               "", (dir / "one.wav") + "\n" + (dir / "sine48.wav") + "\n" + (dir / "one.wav") + "\n" +
                       (dir / "sine.wav") + "\n");
  const std::vector<int16_t> track = test::TrackSamples(dir / "movie.wav");
  for (int64_t f = 100; f < kRate / 2 - 100; ++f) {
    ASSERT_NEAR(track[2 * f], sine[4 * f], 100) << f;
    ASSERT_NEAR(track[2 * f + 2 * 2 * kRate], sine[2 * f], 100) << f;
  }
  for (int64_t f = 0; f < 4400; ++f) {
    ASSERT_EQ(track[2 * (f + kRate / 2)], one[2 * f]) << f;
    ASSERT_EQ(track[2 * (f + 3 * kRate)], one[2 * f]) << f;
  }
}

// A clip's picture and its sound from the same point of the file: frame k of the source shows
// at 10 fps while the sound plays the file's own samples from k / 10 s.
TEST(SoundTrack, AClipsSoundKeepsToItsPictureFromTheSameStart) {
  TempDir dir;
  const std::vector<int16_t> noise = test::Noise(2, 3 * kRate, 6);
  dir.Write("noise.wav", test::Wav(kRate, 2, 16, noise));
  ASSERT_TRUE(Ffmpeg("-f lavfi -i 'nullsrc=s=16x16:r=10:d=3,geq=lum=16+7*N:cb=128:cr=128' -i '" + dir / "noise.wav" +
                     "' -c:v ffv1 -c:a pcm_s16le '" + dir / "clip.mkv" + "'"));
  const auto result = RunScript(dir, R"(<talmora width="16" height="16" fps="10" length="3">)"
                                     R"(<image src="clip.mkv" time="1" clipstart="0.5" width="16" height="16"/>)"
                                     R"(<sound src="clip.mkv" time="1" clipstart="0.5"/></talmora>)");
  ASSERT_EQ(result.status, 0) << result.out;
  const DibFrames frames = ReadDibFrames(dir / "movie.avi");
  ASSERT_EQ(frames.pixels.size(), 30u);
  const auto source_frame = [](uint32_t pixel) { return std::lround((pixel & 0xFF) * 219.0 / 255 / 7); };
  const std::vector<int16_t> track = test::TrackSamples(dir / "movie.wav");
  for (int i = 10; i < 30; ++i) {
    const long k = source_frame(frames.At(static_cast<size_t>(i), 8, 8));
    EXPECT_EQ(k, i - 10 + 5) << "movie frame " << i;
    // The samples under that movie frame start at source frame k's time in the file.
    const int64_t at = int64_t{i} * kRate / 10, in_file = k * kRate / 10;
    EXPECT_TRUE(std::equal(track.begin() + 2 * at, track.begin() + 2 * (at + kRate / 10), noise.begin() + 2 * in_file))
        << "movie frame " << i;
  }
  EXPECT_TRUE(std::all_of(track.begin(), track.begin() + 2 * kRate, [](int16_t v) { return v == 0; }));
}

// Integrated loudness (LUFS), true peak (dBTP) and the largest sample of a track, by libebur128.
struct Loudness {
  double integrated = 0, true_peak = 0;
  int sample_peak = 0;
};
Loudness Measure(const std::vector<int16_t>& track) {
  Loudness measured;
  ebur128_state* meter = ebur128_init(2, kRate, EBUR128_MODE_I | EBUR128_MODE_TRUE_PEAK);
  ebur128_add_frames_short(meter, track.data(), track.size() / 2);
  double left = 0, right = 0;
  ebur128_loudness_global(meter, &measured.integrated);
  ebur128_true_peak(meter, 0, &left);
  ebur128_true_peak(meter, 1, &right);
  ebur128_destroy(&meter);
  measured.true_peak = 20 * std::log10(std::max(left, right));
  for (int16_t v : track) measured.sample_peak = std::max(measured.sample_peak, std::abs(int{v}));
  return measured;
}

TEST(SoundTrack, LoudnessBringsTheTrackToItsTargetWithPeaksUnderTheCeiling) {
  TempDir dir;
  // Quiet noise, and the same with a loud click every half second, which the gain would lift
  // far past full scale.
  std::vector<int16_t> quiet = test::Noise(2, 6 * kRate, 7), clicks;
  for (int16_t& v : quiet) v = static_cast<int16_t>(v / 10);
  clicks = quiet;
  for (size_t f = 0; f < clicks.size() / 2; f += kRate / 2) {
    for (size_t i = 0; i < 40; ++i) clicks[2 * (f + i)] = clicks[2 * (f + i) + 1] = i % 2 ? -30000 : 30000;
  }
  dir.Write("quiet.wav", test::Wav(kRate, 2, 16, quiet));
  dir.Write("clicks.wav", test::Wav(kRate, 2, 16, clicks));
  const int kMinusOneDb = static_cast<int>(32768 * std::pow(10, -1 / 20.0));  // 29204
  const struct {
    std::string root, sound;
    double target;
    std::string line;
  } cases[] = {
      {R"(loudness="-16")", "quiet.wav", -16, "ラウドネス : -18.6 LUFS を -16.0 LUFS に合わせます (+2.6 dB)\n"},
      {R"(loudness="-9")", "clicks.wav", -9, "ラウドネス : -16.9 LUFS を -9.0 LUFS に合わせます (+10.7 dB, リミッター使用)\n"},
  };
  for (const auto& c : cases) {
    const std::string body = "<sound time=\"0\" src=\"" + c.sound + "\"/>";
    ExpectOutput(RunScript(dir, "<talmora width=\"16\" height=\"16\" fps=\"1\" length=\"6\" " + c.root + ">" +
                                    body + "</talmora>"),
                 "", (dir / c.sound) + "\n" + c.line);
    const std::vector<int16_t> track = test::TrackSamples(dir / "movie.wav");
    const Loudness measured = Measure(track);
    EXPECT_NEAR(measured.integrated, c.target, 0.5) << c.sound;
    EXPECT_LE(measured.true_peak, -1.0) << c.sound;
    EXPECT_LE(measured.sample_peak, kMinusOneDb) << c.sound;
    // Parts are shaped as the whole movie, so that they still join.
    std::vector<int16_t> joined;
    for (const auto& [from, to] : {std::pair{"0", "2.5"}, std::pair{"2.5", "6"}}) {
      ASSERT_EQ(RunTalmora({"--codec", "DIB", "--from", from, "--to", to, "movie.xml"}, dir.path()).status, 0);
      const std::vector<int16_t> part = test::TrackSamples(dir / ("movie." + std::string(from) + "-" + to + "s.wav"));
      joined.insert(joined.end(), part.begin(), part.end());
    }
    EXPECT_TRUE(joined == track) << c.sound;
  }
  // Silence cannot be brought anywhere; a bad target leaves the mix as it is.
  ExpectOutput(RunScript(dir, Script("1\" loudness=\"-16", R"(<sound time="0" volume="0" src="quiet.wav"/>)")), "",
               (dir / "quiet.wav") + "\nラウドネスを測れません (無音です): 音量はそのままです\n");
  EXPECT_EQ(test::TrackSamples(dir / "movie.wav"), std::vector<int16_t>(2 * kRate, 0));
  ExpectOutput(RunScript(dir, Script("1\" loudness=\"16", R"(<sound time="0" src="quiet.wav"/>)")), "",
               "loudnessエラー : プロパティの値が不正です - [16]\n" + (dir / "quiet.wav") + "\n", 2);
  EXPECT_TRUE(std::equal(quiet.begin(), quiet.begin() + 2 * kRate, test::TrackSamples(dir / "movie.wav").begin()));
}

// The sound pass reads every tag again, so each pass reports what it reads.
TEST(SoundTrack, MissingFileIsReportedThreeTimesAndTheOldTrackIsReplaced) {
  TempDir dir;
  dir.Write("movie.wav", std::string(1000000, 'x'));
  const auto result = RunScript(dir, Script("1", R"(<sound time="0" src="gone.wav"/>)"));
  const std::string line = "サウンドの読み込みに失敗しました : gone.wav(-2)\n";
  ExpectOutput(result, line, line + line, 2);
  const std::string track = ReadFile(dir / "movie.wav");
  ASSERT_EQ(track.size(), 44u + 4 * kRate);
  EXPECT_EQ(track.find_first_not_of('\0', 44), std::string::npos);
  const std::string invalid = "timeエラー : プロパティの値が不正です - [bad]\n"
                              "durationエラー : プロパティの値が不正です - [x]\n";
  ExpectOutput(RunScript(dir, Script("0", R"(<text time="bad"/><sound time="1" duration="x"/><image src="pic.png"/>)")),
               invalid, invalid + "サウンドの読み込みに失敗しました : (-2)\n", 2);
}

TEST(SoundTrack, MovieLengthSetsTheTrackWithinWhatAWavCanHold) {
  TempDir dir;
  auto result = RunScript(dir, Script("1", R"(<image time="0" duration="1"/>)"));
  ExpectOutput(result, "", "", 2);  // the image has no picture
  EXPECT_FALSE(std::filesystem::exists(dir / "movie.wav"));

  dir.Write("a.wav", test::Wav(kRate, 2, 16, test::Noise(2, 4410)));
  const std::string sound = R"(<sound time="0" src="a.wav"/>)";
  ExpectOutput(RunScript(dir, Script("-1", sound)), "", (dir / "a.wav") + "\n");
  std::string empty = kTenSecondHeader;
  empty.replace(4, 4, std::string("\x24\0\0\0", 4)).replace(40, 4, std::string(4, '\0'));
  EXPECT_EQ(ReadFile(dir / "movie.wav"), empty);

  // Just under 24347.89 s is the longest track whose sizes fit the header; one that does not
  // fit is refused before the last track is replaced.
  ExpectOutput(RunScript(dir, Script("24348", sound)), "",
               "エラー : 動画が長すぎてWAVファイルの上限(4GB)を超えます : " + (dir / "movie.wav") + "\n", 1);
  EXPECT_EQ(ReadFile(dir / "movie.wav"), empty);
  ExpectOutput(RunScript(dir, Script("24347.88", sound)), "", (dir / "a.wav") + "\n");
  uint32_t header[11] = {};  // RIFF size at [1], data size at [10]
  std::ifstream(dir / "movie.wav", std::ios::binary).read(reinterpret_cast<char*>(header), 44);
  EXPECT_GT(header[10], 4294964000u);
  EXPECT_EQ(header[1], header[10] + 36);
  // The data area is sized, not written: the silence takes no disk blocks of its own.
  struct stat info {};
  ASSERT_EQ(::stat((dir / "movie.wav").c_str(), &info), 0);
  EXPECT_EQ(info.st_size, 44 + int64_t{header[10]});
  EXPECT_LT(info.st_blocks * 512, 1 << 20);
}

}  // namespace
}  // namespace talmora
