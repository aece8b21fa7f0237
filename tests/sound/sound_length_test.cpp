#include <gtest/gtest.h>
#include <sys/stat.h>

extern "C" {
#include <libavutil/error.h>
}

#include "platform/sound/sound_system.h"
#include "sound/sound_files.h"

namespace talmora {
namespace {

using test::TempDir;

constexpr int kRate = 44100;

// Every frame the decoder delivers, as the mix will see it.
int64_t DecodedFrames(SoundSystem& system, const std::string& path) {
  std::unique_ptr<SoundDecoder> decoder;
  EXPECT_EQ(system.OpenDecoded(path, decoder), 0) << path;
  if (!decoder) return -1;
  std::vector<int16_t> buffer(2 * 4000);
  int64_t total = 0;
  for (int got = 4000; got == 4000;) {
    EXPECT_EQ(decoder->Read(buffer.data(), 4000, got), 0);
    total += got;
  }
  return total;
}

class SoundLengthTest : public ::testing::Test {
 protected:
  uint32_t Length(const std::string& path, int expected_result = 0) {
    uint32_t length = 0xDEADBEEF;
    EXPECT_EQ(system_.OpenStream(path, length), expected_result) << path;
    return length;
  }

  SoundSystem system_;
  TempDir dir_;
};

TEST_F(SoundLengthTest, WavLengthIsWholeMillisecondsRoundedDown) {
  struct Case { int rate; int64_t frames; uint32_t ms; };
  for (const Case& c : {Case{kRate, 154350, 3500}, Case{kRate, 100, 2}, Case{kRate, 44, 0},
                        Case{kRate, 0, 0}, Case{48000, 48000, 1000}, Case{48000, 47999, 999},
                        Case{8000, 8008, 1001}}) {
    const std::string path = dir_ / "sine.wav";
    test::WriteWav(path, c.rate, 2, 16, test::Sine(c.rate, 2, c.frames, 440, 8000));
    EXPECT_EQ(Length(path), c.ms) << c.rate << " Hz, " << c.frames << " frames";
  }
}

TEST_F(SoundLengthTest, EncodedFormatsGiveTheExactLength) {
  const std::string source = dir_ / "source.wav";
  test::WriteWav(source, kRate, 2, 16, test::Sine(kRate, 2, 154350, 440, 8000));
  for (const std::string name : {"s.aiff", "s.flac", "s.ogg", "s.opus", "s.mp3", "s.m4a"}) {
    const std::string path = dir_ / name;
    ASSERT_TRUE(test::Encode(source, path)) << name;
    EXPECT_EQ(Length(path), 3500u) << name;
  }
}

TEST_F(SoundLengthTest, LengthAgreesWithTheDecodedFrames) {
  // Covers both ways of learning the length: the container's word and counting by decoding
  // (an MP3 without an Info header, raw AAC), against what the mix will actually receive.
  const std::string source = dir_ / "source.wav";
  test::WriteWav(source, kRate, 2, 16, test::Sine(kRate, 2, 100000, 440, 8000));
  struct Case { const char* name; const char* options; };
  for (const Case& c : {Case{"a.wav", ""}, Case{"a.flac", ""}, Case{"a.ogg", ""},
                        Case{"a.mp3", ""}, Case{"noinfo.mp3", "-write_xing 0"},
                        Case{"a.aac", "-f adts"}}) {
    const std::string path = dir_ / c.name;
    ASSERT_TRUE(test::Encode(source, path, c.options)) << c.name;
    const int64_t frames = DecodedFrames(system_, path);
    EXPECT_EQ(Length(path), static_cast<uint32_t>(frames * 1000 / kRate)) << c.name;
  }
}

TEST_F(SoundLengthTest, TruncatedFilesCountWhatIsThere) {
  const std::string source = dir_ / "source.wav";
  test::WriteWav(source, kRate, 2, 16, test::Sine(kRate, 2, 154350, 440, 8000));
  const std::string mp3 = dir_ / "full.mp3";
  ASSERT_TRUE(test::Encode(source, mp3));

  // The WAV header still claims 3.5 s; the file holds 75000 frames.
  const std::string wav = dir_ / "cut.wav";
  test::WriteFile(wav, test::ReadFile(source).substr(0, 44 + 75000 * 4));
  EXPECT_EQ(Length(wav), 1700u);

  // The Info header still counts every frame, the file holds about half of them.
  const std::string cut_mp3 = dir_ / "cut.mp3";
  test::WriteFile(cut_mp3, test::ReadFile(mp3).substr(0, test::ReadFile(mp3).size() / 2));
  const uint32_t length = Length(cut_mp3);
  EXPECT_GT(length, 1000u);
  EXPECT_LT(length, 2500u);
  EXPECT_EQ(length, static_cast<uint32_t>(DecodedFrames(system_, cut_mp3) * 1000 / kRate));
}

TEST_F(SoundLengthTest, UnreadableFilesGiveTheDecodersErrorCode) {
  EXPECT_EQ(Length(dir_ / "missing.wav", AVERROR(ENOENT)), 0xDEADBEEF);
  EXPECT_EQ(Length("", AVERROR(ENOENT)), 0xDEADBEEF);

  const std::string wav = test::WavBytes(kRate, 2, 16, test::Sine(kRate, 2, 1000, 440, 8000));
  struct Case { const char* name; std::string bytes; };
  for (const Case& c : {Case{"empty.wav", ""}, Case{"header.wav", wav.substr(0, 30)},
                        Case{"garbage.wav", std::string(5000, '\x5A')},
                        Case{"text.mp3", "this is not a sound file at all\n"},
                        Case{"zero_rate.wav", test::WavBytes(0, 2, 16, {1, 2, 3, 4})},
                        Case{"huge_rate.wav", test::WavBytes(2000000000, 1, 16, {1, 2})},
                        Case{"tiny_rate.wav", test::WavBytes(999, 1, 16, {1, 2})},
                        Case{"no_channels.wav", test::WavBytes(kRate, 0, 16, {1, 2})}}) {
    const std::string path = dir_ / c.name;
    test::WriteFile(path, c.bytes);
    uint32_t length = 0;
    EXPECT_LT(system_.OpenStream(path, length), 0) << c.name;
    std::unique_ptr<SoundDecoder> decoder;
    EXPECT_LT(system_.OpenDecoded(path, decoder), 0) << c.name;
    EXPECT_EQ(decoder, nullptr) << c.name;
  }
  uint32_t length = 0;
  EXPECT_EQ(system_.OpenStream(dir_.Path().string(), length), AVERROR(EISDIR));
}

TEST_F(SoundLengthTest, OnlyRegularLocalFilesAreOpened) {
  // A pipe would wait for a writer forever, a device never ends, a URL reaches out.
  const std::string fifo = dir_ / "pipe.wav";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  for (const std::string path : {fifo, std::string("/dev/zero"), std::string("http://127.0.0.1:9/a.wav")}) {
    uint32_t length = 0;
    EXPECT_LT(system_.OpenStream(path, length), 0) << path;
  }
  // In a relative name, what comes before a colon is part of the name, not a protocol.
  test::WriteWav(dir_ / "subfile:take2.wav", kRate, 2, 16, test::Sine(kRate, 2, 4410, 440, 8000));
  const std::filesystem::path saved = std::filesystem::current_path();
  std::filesystem::current_path(dir_.Path());
  const uint32_t length = Length("subfile:take2.wav");
  std::filesystem::current_path(saved);
  EXPECT_EQ(length, 100u);
}

}  // namespace
}  // namespace talmora
