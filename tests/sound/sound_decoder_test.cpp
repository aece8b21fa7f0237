#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>

#include "platform/sound/sound_system.h"
#include "sound/sound_files.h"

namespace talmora {
namespace {

constexpr int kRate = 44100;

class SoundSystemTest : public ::testing::Test {
 protected:
  // Every frame the decoder delivers, until the end or an error, up to `limit`.
  std::vector<int16_t> Decode(const std::string& path, const Playback& playback = {}, int64_t limit = 1 << 30) {
    auto decoder = system_.OpenDecoded(path, playback);
    EXPECT_TRUE(decoder) << path;
    std::vector<int16_t> samples;
    if (!decoder) return samples;
    std::vector<int16_t> buffer(2 * 4000);
    for (int got = 4000; got == 4000 && static_cast<int64_t>(samples.size()) < 2 * limit;) {
      const auto read = (*decoder)->Read(buffer.data(), 4000);
      if (!read) break;
      got = *read;
      samples.insert(samples.end(), buffer.begin(), buffer.begin() + 2 * got);
    }
    return samples;
  }
  // The same, counted.
  int64_t Frames(const std::string& path) { return static_cast<int64_t>(Decode(path).size() / 2); }

  SoundSystem system_;
  testing::TempDir dir_;
};

TEST_F(SoundSystemTest, LengthInWholeMillisecondsAndFramesAtTheTracksRate) {
  const std::string source = dir_.Write("source.wav", test::Wav(kRate, 2, 16, test::Noise(2, 154350)));
  ASSERT_TRUE(test::Encode(source, dir_ / "a.mp3"));
  ASSERT_TRUE(test::Encode(source, dir_ / "noinfo.mp3", "-write_xing 0"));
  // A movie file whose first stream is its picture: the sound is its second.
  ASSERT_TRUE(test::Encode(source, dir_ / "movie.mkv",
                           "-f lavfi -i testsrc=s=32x32:d=3.5 -map 1:v -map 0:a -c:v mpeg4 -c:a pcm_s16le"));
  struct Case { std::string path; int64_t ms; };
  const Case cases[] = {
      {source, 3500},
      {dir_.Write("short.wav", test::Wav(kRate, 2, 16, test::Noise(2, 100))), 2},
      {dir_.Write("48k.wav", test::Wav(48000, 2, 16, test::Noise(2, 47999))), 999},
      // The header still claims 3.5 s; the file holds 75000 frames.
      {dir_.Write("cut.wav", testing::ReadFile(source).substr(0, 44 + 75000 * 4)), 1700},
      {dir_ / "a.mp3", 3500},
      {dir_ / "movie.mkv", 3500},
      // Without an Info header the length is counted: as many frames as the mix receives.
      {dir_ / "noinfo.mp3", Frames(dir_ / "noinfo.mp3") * 1000 / kRate},
  };
  for (const Case& c : cases) {
    const auto info = system_.MeasureStream(c.path);
    ASSERT_TRUE(info) << c.path;
    EXPECT_EQ(info->length_ms, c.ms) << c.path;
    EXPECT_EQ(info->rate, system_.OpenStream(c.path)->rate) << c.path;
  }
  EXPECT_EQ(Frames(dir_ / "a.mp3"), 154350);
  EXPECT_EQ(Decode(dir_ / "movie.mkv"), Decode(source));
  // Other rates are resampled: two seconds stay two seconds of the track.
  for (int rate : {48000, 22050, 8000, 192000}) {
    EXPECT_EQ(Frames(dir_.Write("r.wav", test::Wav(rate, 2, 16, test::Noise(2, 2 * rate)))), 2 * kRate) << rate;
  }
}

// Every sample format and channel count comes out as the track's stereo 16 bits.
TEST_F(SoundSystemTest, EverySampleFormatAndLayoutComesOutStereo) {
  constexpr int64_t kFrames = 4410;
  const std::vector<int16_t> stereo = test::Noise(2, kFrames, 1), mono = test::Noise(1, kFrames, 2);
  const std::vector<int16_t> three = test::Noise(3, kFrames, 3), six = test::Noise(6, kFrames, 4);
  const std::string source = dir_.Write("s16.wav", test::Wav(kRate, 2, 16, stereo));
  const auto each = [](const std::vector<int16_t>& samples, int channels, auto frame) {
    std::vector<double> out;
    for (size_t f = 0; f < samples.size() / channels; ++f) {
      const auto [left, right] = frame(samples.data() + f * channels);
      out.insert(out.end(), {left, right});
    }
    return out;
  };
  const auto same = each(stereo, 2, [](const int16_t* v) { return std::pair<double, double>(v[0], v[1]); });
  // Eight bits keep the top eight, rounded down.
  const auto eight = each(stereo, 2, [](const int16_t* v) {
    return std::pair<double, double>((v[0] >> 8) * 256, (v[1] >> 8) * 256);
  });
  ASSERT_TRUE(test::Encode(source, dir_ / "u8.wav", "-c:a pcm_u8"));
  ASSERT_TRUE(test::Encode(source, dir_ / "f32.wav", "-c:a pcm_f32le"));
  ASSERT_TRUE(test::Encode(source, dir_ / "f64.wav", "-c:a pcm_f64le"));
  const std::string s24 = dir_.Write("s24.wav", test::Wav(kRate, 2, 24, stereo));
  ASSERT_TRUE(test::Encode(s24, dir_ / "s24.flac", "-c:a flac -sample_fmt s32"));
  // Six channels, 5.1: the centre and the back sides at 1/√2, the low-frequency one left out,
  // all scaled to keep a full-scale sum in range; the resampler's fixed-point matrix rounds.
  const double c = M_SQRT1_2, scale = 1 / (1 + 2 * c);
  struct Case { std::string path; std::vector<double> expected; double tolerance = 0; };
  const Case cases[] = {
      {source, same},
      {dir_ / "u8.wav", eight},
      {s24, same},
      {dir_.Write("s32.wav", test::Wav(kRate, 2, 32, stereo)), same},
      {dir_ / "s24.flac", same},
      {dir_ / "f32.wav", same},
      {dir_ / "f64.wav", same},
      {dir_.Write("mono.wav", test::Wav(kRate, 1, 16, mono)),
       each(mono, 1, [](const int16_t* v) { return std::pair<double, double>(v[0], v[0]); })},
      // Three are two sides and the low frequencies.
      {dir_.Write("three.wav", test::Wav(kRate, 3, 16, three)),
       each(three, 3, [](const int16_t* v) { return std::pair<double, double>(v[0], v[1]); })},
      {dir_.Write("six.wav", test::Wav(kRate, 6, 16, six)),
       each(six, 6, [&](const int16_t* v) {
         return std::pair<double, double>((v[0] + c * v[2] + c * v[4]) * scale, (v[1] + c * v[2] + c * v[5]) * scale);
       }), 1.5},
  };
  for (const Case& k : cases) {
    const std::vector<int16_t> decoded = Decode(k.path);
    ASSERT_EQ(decoded.size(), k.expected.size()) << k.path;
    size_t wrong = 0;
    for (size_t i = 0; i < decoded.size(); ++i) wrong += std::fabs(decoded[i] - k.expected[i]) > k.tolerance;
    EXPECT_EQ(wrong, 0u) << k.path;
  }
}

TEST_F(SoundSystemTest, LoopsPlayTheirStretchFromMemoryOrByReopeningTheFile) {
  // Eight channels make 705600 bytes a second as decoded: seven seconds are too many to keep.
  const std::string path = dir_.Write("eight.wav", test::Wav(kRate, 8, 16, test::Noise(8, 7 * kRate)));
  const std::vector<int16_t> plain = Decode(path);
  ASSERT_EQ(plain.size(), 2u * 7 * kRate);
  struct Case { Playback playback; std::vector<std::pair<double, double>> seconds; };
  const Case cases[] = {
      {{0, 1, 0.5, 6.5}, {{0, 6.5}, {0.5, 6.5}, {6.5, 7}}},  // reopened
      {{0, 2, 1.0, 1.5}, {{0, 1.5}, {1, 1.5}, {1, 1.5}, {1.5, 7}}},  // kept
      {{0, 1, 6.5, 0.0}, {{0, 7}, {6.5, 7}}},             // to the file's end, kept
      {{0, 3, 8.0, 0.0}, {{0, 7}}},                       // after the end: nothing to repeat
      {{0, 0, 1.0, 2.0}, {{0, 7}}},
      // From a start in the file: before the stretch, inside it (kept once a pass holds it
      // whole, or reopened), and past it, which plays on to the end.
      {{0, 0, 0.0, 0.0, 2.5}, {{2.5, 7}}},
      {{0, 1, 1.0, 1.5, 0.5}, {{0.5, 1.5}, {1, 1.5}, {1.5, 7}}},
      {{0, 2, 1.0, 1.5, 1.25}, {{1.25, 1.5}, {1, 1.5}, {1, 1.5}, {1.5, 7}}},
      {{0, 1, 0.5, 6.5, 3.0}, {{3, 6.5}, {0.5, 6.5}, {6.5, 7}}},
      {{0, 3, 1.0, 1.5, 1.5}, {{1.5, 7}}},
      {{0, -1, 1.0, 1.5, 6.0}, {{6, 7}}},
      {{0, 0, 0.0, 0.0, 9.0}, {}},
  };
  for (const Case& c : cases) {
    std::vector<int16_t> expected;
    for (auto [from, to] : c.seconds) {
      expected.insert(expected.end(), plain.begin() + 2 * std::llround(from * kRate),
                      plain.begin() + 2 * std::llround(to * kRate));
    }
    EXPECT_TRUE(Decode(path, c.playback) == expected) << c.playback.loop_start << " " << c.playback.loop_end;
  }
  // Endless: the output repeats with the stretch, and says so.
  auto opened = system_.OpenDecoded(path, {0, -1, 6.0, 0.0});
  ASSERT_TRUE(opened);
  SoundDecoder& decoder = **opened;
  std::vector<int16_t> buffer(2 * 10 * kRate);
  const auto got = decoder.Read(buffer.data(), 10 * kRate);
  ASSERT_TRUE(got);
  ASSERT_EQ(*got, 10 * kRate);
  for (int second = 7; second < 10; ++second) {
    EXPECT_TRUE(std::equal(plain.begin() + 2 * 6 * kRate, plain.end(), buffer.begin() + 2 * second * kRate)) << second;
  }
  EXPECT_EQ(decoder.Period(), kRate);
}

TEST_F(SoundSystemTest, BrokenInputSaysWhatFailedWithoutACrash) {
  const std::string wav = test::Wav(kRate, 2, 16, test::Noise(2, 1000));
  ASSERT_EQ(::mkfifo((dir_ / "pipe.wav").c_str(), 0600), 0);  // would wait for a writer
  for (const std::string& path :
       {dir_ / "missing.wav", std::string(), dir_.path(), dir_ / "pipe.wav", std::string("/dev/zero"),
        std::string("http://127.0.0.1:9/a.wav"), dir_.Write("empty.wav", ""),
        dir_.Write("header.wav", wav.substr(0, 30)), dir_.Write("garbage.wav", std::string(5000, 'Z')),
        dir_.Write("text.mp3", "not a sound file\n"),
        dir_.Write("zero_rate.wav", test::Wav(0, 2, 16, {1, 2})),
        dir_.Write("huge_rate.wav", test::Wav(2000000000, 1, 16, {1, 2})),
        dir_.Write("no_channels.wav", test::Wav(kRate, 0, 16, {1, 2}))}) {
    const auto info = system_.MeasureStream(path);
    ASSERT_FALSE(info) << path;
    EXPECT_LT(info.error().code, 0) << path;
    EXPECT_FALSE(info.error().what.empty()) << path;
    const auto decoder = system_.OpenDecoded(path, {});
    ASSERT_FALSE(decoder) << path;
    EXPECT_LT(decoder.error().code, 0) << path;
  }
  // Damaged in the middle and cut short: the intact start still decodes.
  const std::string source = dir_.Write("source.wav", test::Wav(kRate, 2, 16, test::Noise(2, 3 * kRate)));
  for (const std::string name : {"d.mp3", "d.ogg", "d.flac", "d.wav"}) {
    ASSERT_TRUE(test::Encode(source, dir_ / name)) << name;
    std::string bytes = testing::ReadFile(dir_ / name);
    for (size_t i = bytes.size() / 2; i < bytes.size() / 2 + 400; ++i) bytes[i] = static_cast<char>(i * 7);
    const int64_t frames = Frames(dir_.Write(name, bytes.substr(0, bytes.size() * 3 / 4)));
    EXPECT_GT(frames, kRate / 2) << name;
    EXPECT_LE(frames, 3 * kRate + 4096) << name;
    (void)system_.MeasureStream(dir_ / name);  // counts what is there, whatever it returns
  }
}

}  // namespace
}  // namespace talmora
