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
    std::unique_ptr<SoundDecoder> decoder;
    EXPECT_TRUE(system_.OpenDecoded(path, playback, decoder).Ok()) << path;
    std::vector<int16_t> samples;
    if (!decoder) return samples;
    std::vector<int16_t> buffer(2 * 4000);
    for (int got = 4000; got == 4000 && static_cast<int64_t>(samples.size()) < 2 * limit;) {
      if (!decoder->Read(buffer.data(), 4000, got).Ok()) break;
      samples.insert(samples.end(), buffer.begin(), buffer.begin() + 2 * got);
    }
    return samples;
  }
  // The same for a 16-bit stereo source, counted.
  int64_t Frames(const std::string& path) {
    std::unique_ptr<SoundDecoder> decoder;
    EXPECT_TRUE(system_.OpenDecoded(path, {}, decoder).Ok()) << path;
    if (!decoder) return -1;
    EXPECT_EQ(decoder->Channels(), 2) << path;
    EXPECT_EQ(decoder->BitsPerSample(), 16) << path;
    return static_cast<int64_t>(Decode(path).size() / 2);
  }

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
    SoundInfo info;
    EXPECT_TRUE(system_.OpenStream(c.path, info).Ok()) << c.path;
    EXPECT_EQ(info.length_ms, c.ms) << c.path;
  }
  EXPECT_EQ(Frames(dir_ / "a.mp3"), 154350);
  EXPECT_EQ(Decode(dir_ / "movie.mkv"), Decode(source));
  // Other rates are resampled: two seconds stay two seconds of the track.
  for (int rate : {48000, 22050, 8000, 192000}) {
    EXPECT_EQ(Frames(dir_.Write("r.wav", test::Wav(rate, 2, 16, test::Noise(2, 2 * rate)))), 2 * kRate) << rate;
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
  std::unique_ptr<SoundDecoder> decoder;
  ASSERT_TRUE(system_.OpenDecoded(path, {0, -1, 6.0, 0.0}, decoder).Ok());
  std::vector<int16_t> buffer(2 * 10 * kRate);
  int got = 0;
  ASSERT_TRUE(decoder->Read(buffer.data(), 10 * kRate, got).Ok());
  ASSERT_EQ(got, 10 * kRate);
  for (int second = 7; second < 10; ++second) {
    EXPECT_TRUE(std::equal(plain.begin() + 2 * 6 * kRate, plain.end(), buffer.begin() + 2 * second * kRate)) << second;
  }
  EXPECT_EQ(decoder->Period(), kRate);
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
    SoundInfo info;
    const SoundStatus status = system_.OpenStream(path, info);
    EXPECT_LT(status.code, 0) << path;
    EXPECT_FALSE(status.reason.empty()) << path;
    std::unique_ptr<SoundDecoder> decoder;
    EXPECT_LT(system_.OpenDecoded(path, {}, decoder).code, 0) << path;
    EXPECT_EQ(decoder, nullptr) << path;
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
    SoundInfo info;
    system_.OpenStream(dir_ / name, info);  // counts what is there, whatever it returns
  }
}

}  // namespace
}  // namespace talmora
