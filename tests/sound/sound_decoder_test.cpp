#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "platform/sound/sound_system.h"
#include "sound/sound_files.h"

namespace talmora {
namespace {

using test::TempDir;

constexpr int kRate = 44100;

class SoundDecoderTest : public ::testing::Test {
 protected:
  std::unique_ptr<SoundDecoder> Open(const std::string& path) {
    std::unique_ptr<SoundDecoder> decoder;
    EXPECT_EQ(system_.OpenDecoded(path, decoder), 0) << path;
    return decoder;
  }

  // Reads the whole file in pieces of `piece` frames; the stereo samples, interleaved.
  static std::vector<int16_t> ReadAll(SoundDecoder& decoder, int piece = 65536) {
    std::vector<int16_t> all;
    std::vector<int16_t> buffer(static_cast<size_t>(piece) * 2);
    for (int got = piece; got == piece;) {
      EXPECT_EQ(decoder.Read(buffer.data(), piece, got), 0);
      all.insert(all.end(), buffer.begin(), buffer.begin() + got * 2);
    }
    return all;
  }

  // Upward zero crossings of the left channel per second of track, over frames [from, to).
  static double Frequency(const std::vector<int16_t>& samples, size_t from, size_t to) {
    int crossings = 0;
    for (size_t i = from + 1; i < to; ++i) {
      if (samples[2 * (i - 1)] < 0 && samples[2 * i] >= 0) ++crossings;
    }
    return crossings * double{kRate} / static_cast<double>(to - from);
  }

  SoundSystem system_;
  TempDir dir_;
};

TEST_F(SoundDecoderTest, StereoSixteenBitAt44100PassesThroughUnchanged) {
  std::vector<int32_t> samples = test::Noise(2, 100000);
  samples[0] = -32768;
  samples[1] = 32767;
  const std::string path = dir_ / "noise.wav";
  test::WriteWav(path, kRate, 2, 16, samples);

  for (int piece : {1, 999, 4096, 65536, 200000}) {
    auto decoder = Open(path);
    ASSERT_TRUE(decoder);
    EXPECT_EQ(decoder->Channels(), 2);
    EXPECT_EQ(decoder->BitsPerSample(), 16);
    const std::vector<int16_t> got = ReadAll(*decoder, piece);
    ASSERT_EQ(got.size(), samples.size()) << piece;
    EXPECT_TRUE(std::equal(got.begin(), got.end(), samples.begin())) << piece;
    // Past the end every read delivers nothing, without error.
    int16_t spare[8];
    int count = -1;
    EXPECT_EQ(decoder->Read(spare, 4, count), 0);
    EXPECT_EQ(count, 0);
  }
}

TEST_F(SoundDecoderTest, OtherRatesAreResampledToOneSecondPerSecond) {
  // Two seconds of 400 Hz must stay two seconds of 400 Hz at the track's rate, tail included.
  for (int rate : {48000, 22050, 8000, 96000, 1000, 192000}) {
    const std::string path = dir_ / "rate.wav";
    test::WriteWav(path, rate, 2, 16, test::Sine(rate, 2, 2 * rate, 400, 16000));
    auto decoder = Open(path);
    ASSERT_TRUE(decoder);
    const std::vector<int16_t> got = ReadAll(*decoder, 10000);
    const auto frames = static_cast<int64_t>(got.size() / 2);
    EXPECT_EQ(frames, 2 * kRate) << rate;
    EXPECT_NEAR(Frequency(got, 1000, 2 * kRate - 1000), 400, 2) << rate;
    // The resampler's delay is flushed: the sine still sounds in the last hundred frames.
    int16_t loudest = 0;
    for (int64_t i = frames - 100; i < frames; ++i) loudest = std::max(loudest, got[2 * i]);
    EXPECT_GT(loudest, 8000) << rate;
  }
}

TEST_F(SoundDecoderTest, ReportsTheSourceFormat) {
  const std::string source = dir_ / "source.wav";
  test::WriteWav(source, kRate, 2, 16, test::Sine(kRate, 2, 20000, 440, 8000));
  const std::string mono = dir_ / "mono.wav";
  test::WriteWav(mono, kRate, 1, 16, test::Sine(kRate, 1, 20000, 440, 8000));
  struct Case { std::string name; std::string from; std::string options; int channels; int bits; };
  const Case cases[] = {
      {"mono.wav", "", "", 1, 16},
      {"u8.wav", source, "-c:a pcm_u8", 2, 8},
      {"s24.wav", source, "-c:a pcm_s24le", 2, 24},
      {"s32.wav", source, "-c:a pcm_s32le", 2, 32},
      {"f32.wav", source, "-c:a pcm_f32le", 2, 32},
      {"s24.flac", source, "-sample_fmt s32 -bits_per_raw_sample 24", 2, 24},
      {"s16.flac", source, "", 2, 16},
      {"s16.aiff", source, "", 2, 16},
      {"mono.mp3", mono, "", 1, 16},
      {"s.mp3", source, "", 2, 16},
      {"s.ogg", source, "", 2, 16},
      {"s.opus", source, "", 2, 16},
      {"s.m4a", source, "", 2, 16},
      {"six.wav", source, "-af 'pan=5.1|c0=c0|c1=c1|c2=c0|c3=c1|c4=c0|c5=c1' -c:a pcm_s24le", 6, 24},
  };
  for (const Case& c : cases) {
    const std::string path = dir_ / c.name;
    if (!c.from.empty()) {
      ASSERT_TRUE(test::Encode(c.from, path, c.options)) << c.name;
    }
    auto decoder = Open(path);
    ASSERT_TRUE(decoder) << c.name;
    EXPECT_EQ(decoder->Channels(), c.channels) << c.name;
    EXPECT_EQ(decoder->BitsPerSample(), c.bits) << c.name;
    // Whatever the source, the output is the track's stereo: both sides carry the tone.
    const std::vector<int16_t> got = ReadAll(*decoder);
    ASSERT_GT(got.size(), 2u * 15000) << c.name;
    int16_t left = 0, right = 0;
    for (size_t i = 2 * 5000; i < 2 * 15000; i += 2) {
      left = std::max(left, got[i]);
      right = std::max(right, got[i + 1]);
    }
    EXPECT_GT(left, 3000) << c.name;
    EXPECT_GT(right, 3000) << c.name;
  }
}

TEST_F(SoundDecoderTest, DamagedFilesDecodeWhatIsIntact) {
  const std::string source = dir_ / "source.wav";
  // Noise, so that the damage hits a small part of the encoded file, as it would in a real one.
  std::vector<int32_t> noise = test::Noise(2, 3 * kRate);
  for (int32_t& s : noise) s /= 4;
  test::WriteWav(source, kRate, 2, 16, noise);
  for (const std::string name : {"d.mp3", "d.ogg", "d.flac", "d.opus", "d.wav"}) {
    const std::string path = dir_ / name;
    ASSERT_TRUE(test::Encode(source, path)) << name;
    std::string bytes = test::ReadFile(path);
    // Scribble over a stretch in the middle and cut the last quarter off.
    const size_t middle = bytes.size() / 2;
    for (size_t i = middle; i < middle + 400 && i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7);
    test::WriteFile(path, bytes.substr(0, bytes.size() * 3 / 4));
    auto decoder = Open(path);
    ASSERT_TRUE(decoder) << name;
    std::vector<int16_t> buffer(2 * 4096);
    int64_t total = 0;
    int got = 4096;
    int result = 0;
    while (got == 4096 && result == 0) {
      result = decoder->Read(buffer.data(), 4096, got);
      total += got;
    }
    // The intact start always comes through; the rest depends on the format.
    EXPECT_GT(total, kRate / 2) << name;
    EXPECT_LE(total, 3 * kRate + 4096) << name;
  }
}

}  // namespace
}  // namespace talmora
