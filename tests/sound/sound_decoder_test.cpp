#include <gtest/gtest.h>
#include <sys/stat.h>

#include "platform/sound/sound_system.h"
#include "sound/sound_files.h"

namespace talmora {
namespace {

constexpr int kRate = 44100;

class SoundSystemTest : public ::testing::Test {
 protected:
  // Every frame the decoder delivers, until the end or an error; the source must be 16-bit stereo.
  int64_t Frames(const std::string& path) {
    std::unique_ptr<SoundDecoder> decoder;
    EXPECT_TRUE(system_.OpenDecoded(path, {}, decoder).Ok()) << path;
    if (!decoder) return -1;
    EXPECT_EQ(decoder->Channels(), 2) << path;
    EXPECT_EQ(decoder->BitsPerSample(), 16) << path;
    std::vector<int16_t> buffer(2 * 4000);
    int64_t total = 0;
    for (int got = 4000; got == 4000 && decoder->Read(buffer.data(), 4000, got).Ok(); total += got) {
    }
    return total;
  }

  SoundSystem system_;
  testing::TempDir dir_;
};

TEST_F(SoundSystemTest, LengthInWholeMillisecondsAndFramesAtTheTracksRate) {
  const std::string source = dir_.Write("source.wav", test::Wav(kRate, 2, 16, test::Noise(2, 154350)));
  ASSERT_TRUE(test::Encode(source, dir_ / "a.mp3"));
  ASSERT_TRUE(test::Encode(source, dir_ / "noinfo.mp3", "-write_xing 0"));
  struct Case { std::string path; int64_t ms; };
  const Case cases[] = {
      {source, 3500},
      {dir_.Write("short.wav", test::Wav(kRate, 2, 16, test::Noise(2, 100))), 2},
      {dir_.Write("48k.wav", test::Wav(48000, 2, 16, test::Noise(2, 47999))), 999},
      // The header still claims 3.5 s; the file holds 75000 frames.
      {dir_.Write("cut.wav", testing::ReadFile(source).substr(0, 44 + 75000 * 4)), 1700},
      {dir_ / "a.mp3", 3500},
      // Without an Info header the length is counted: as many frames as the mix receives.
      {dir_ / "noinfo.mp3", Frames(dir_ / "noinfo.mp3") * 1000 / kRate},
  };
  for (const Case& c : cases) {
    SoundInfo info;
    EXPECT_TRUE(system_.OpenStream(c.path, info).Ok()) << c.path;
    EXPECT_EQ(info.length_ms, c.ms) << c.path;
  }
  EXPECT_EQ(Frames(dir_ / "a.mp3"), 154350);
  // Other rates are resampled: two seconds stay two seconds of the track.
  for (int rate : {48000, 22050, 8000, 192000}) {
    EXPECT_EQ(Frames(dir_.Write("r.wav", test::Wav(rate, 2, 16, test::Noise(2, 2 * rate)))), 2 * kRate) << rate;
  }
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
