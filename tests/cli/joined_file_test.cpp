// `--output`: the one file joining the movie and its sound, read back with libavformat.

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "render/picture_files.h"
#include "sound/sound_files.h"
#include "support/cli_harness.h"
#include "support/dib_frames.h"
#include "support/media_streams.h"

namespace talmora {
namespace {

using testing::Packet;
using testing::Stream;
using testing::TempDir;

// The NAL units of an H.264 packet, start codes (AVI) or 4-byte lengths (MP4) taken off.
std::vector<std::string> NalUnits(const std::string& data, bool length_prefixed) {
  std::vector<std::string> units;
  if (length_prefixed) {
    for (size_t at = 0; at + 4 <= data.size();) {
      const size_t size = (size_t{uint8_t(data[at])} << 24) | (size_t{uint8_t(data[at + 1])} << 16) |
                          (size_t{uint8_t(data[at + 2])} << 8) | uint8_t(data[at + 3]);
      units.push_back(data.substr(at + 4, size));
      at += 4 + size;
    }
    return units;
  }
  const std::string code("\0\0\1", 3);
  for (size_t at = data.find(code); at != std::string::npos;) {
    const size_t next = data.find(code, at + 3);
    std::string unit = data.substr(at + 3, next == std::string::npos ? std::string::npos : next - at - 3);
    while (next != std::string::npos && !unit.empty() && unit.back() == '\0') unit.pop_back();  // 4-byte code
    units.push_back(unit);
    at = next;
  }
  return units;
}

constexpr double kLength = 1.0;
constexpr uint32_t kInk = 0xFFCC3366;

// A 32 × 24 movie of ten frames: a box in the top left corner over grey, and with `sound` a
// second of noise from the start.
std::vector<int16_t> WriteScene(const TempDir& dir, bool sound) {
  const std::vector<int16_t> noise = test::Noise(2, 44100, 7);
  dir.Write("scene/tone.wav", test::Wav(44100, 2, 16, noise));
  WritePam(dir / "scene/box.pam", 8, 4, std::vector<uint32_t>(32, kInk));
  dir.Write("scene/movie.xml", R"(<talmora width="32" height="24" fps="10" length="1" r="0.5" g="0.5" b="0.5" a="1">)"
                               R"(<image src="box.pam" x="0" y="0" width="8" height="4" time="0" duration="1"/>)" +
                                   std::string(sound ? R"(<sound time="0" src="tone.wav"/>)" : "") + "</talmora>");
  return noise;
}

TEST(JoinedFile, VideoIsCopiedAndSoundJoinedInEachContainer) {
  struct Case {
    std::string codec, output;
    bool sound;
    AVCodecID video, audio;
  };
  const Case cases[] = {
      {"H264", "movie.mp4", true, AV_CODEC_ID_H264, AV_CODEC_ID_AAC},
      {"DIB", "movie.mkv", true, AV_CODEC_ID_RAWVIDEO, AV_CODEC_ID_PCM_S16LE},
      {"FFV1", "Movie.MKV", true, AV_CODEC_ID_FFV1, AV_CODEC_ID_PCM_S16LE},
      {"DIB", "movie.mov", false, AV_CODEC_ID_RAWVIDEO, AV_CODEC_ID_NONE},
      {"DIB", "movie.avi", false, AV_CODEC_ID_RAWVIDEO, AV_CODEC_ID_NONE},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.codec + " " + c.output);
    TempDir dir;
    const std::vector<int16_t> noise = WriteScene(dir, c.sound);
    // Relative to the folder the program starts in, not the script's.
    const auto result = testing::RunTalmora({"--codec", c.codec, "-o", c.output, "scene/movie.xml"}, dir.path());
    EXPECT_EQ(result.status, 0) << result.out;
    EXPECT_NE(result.out.find("出力ファイルの作成が完了しました : " + (dir / c.output) + "\n"), std::string::npos);
    const std::vector<Stream> avi = testing::ReadStreams(dir / "scene/movie.avi");
    const std::vector<Stream> joined = testing::ReadStreams(dir / c.output);
    ASSERT_EQ(avi.size(), 1u);
    ASSERT_EQ(joined.size(), c.sound ? 2u : 1u);
    EXPECT_EQ(joined[0].codec, c.video);

    const Stream &from = avi[0], &to = joined[0];
    ASSERT_EQ(to.packets.size(), from.packets.size());
    for (size_t i = 0; i < to.packets.size(); ++i) {
      EXPECT_EQ(to.packets[i].key, from.packets[i].key) << i;
      EXPECT_NEAR(to.packets[i].time, from.packets[i].time, 1e-3) << i;
      if (c.video == AV_CODEC_ID_H264) {
        EXPECT_EQ(NalUnits(to.packets[i].data, true), NalUnits(from.packets[i].data, false)) << i;
      }
    }
    // Upright and pixel-exact: the frames as the AVI's own rows give them.
    ASSERT_EQ(to.frames.size(), 10u);
    if (c.video == AV_CODEC_ID_RAWVIDEO) {
      const testing::DibFrames rows = testing::ReadDibFrames(dir / "scene/movie.avi");
      for (size_t i = 0; i < 10; ++i) EXPECT_TRUE(to.frames[i] == rows.pixels[i]) << i;
      EXPECT_EQ(to.frames[0][0], kInk);
      EXPECT_EQ(to.frames[0][23 * 32], 0xFF7F7F7F);
    } else if (c.video == AV_CODEC_ID_FFV1) {
      EXPECT_TRUE(to.frames == from.frames);
    }

    if (!c.sound) continue;
    EXPECT_EQ(joined[1].codec, c.audio);
    if (c.audio == AV_CODEC_ID_AAC) {
      EXPECT_NEAR(joined[1].duration, kLength, 1024.0 / 44100);
      EXPECT_EQ(joined[1].start, 0.0);
      EXPECT_EQ(joined[0].start, 0.0);
    } else {
      std::string samples;
      for (const Packet& p : joined[1].packets) samples += p.data;
      EXPECT_EQ(samples, std::string(reinterpret_cast<const char*>(noise.data()), noise.size() * 2));
    }
  }
}

// Parts joined with `-o`: for MJPG the very file one render makes, its AAC encoded once over
// the whole track so that no seam can click; for H.264, each part beginning on a key frame of its
// own, a file every frame of which decodes.
TEST(JoinedFile, PartsJoinIntoOnePlayableFile) {
  TempDir dir;
  WriteScene(dir, true);
  const auto run = [&dir](std::vector<std::string> args) {
    args.push_back("scene/movie.xml");
    const auto result = testing::RunTalmora(args, dir.path());
    EXPECT_EQ(result.status, 0) << result.out;
  };
  run({"--codec", "MJPG", "-o", "single.mp4"});
  for (const std::string codec : {"MJPG", "H264"}) {
    for (int k = 1; k <= 3; ++k) run({"--codec", codec, "--part", std::to_string(k) + "/3"});
    run({"--codec", codec, "--join", "3", "-o", codec + ".mp4"});
  }
  EXPECT_TRUE(testing::ReadFile(dir / "MJPG.mp4") == testing::ReadFile(dir / "single.mp4"));
  const std::vector<Stream> mjpg = testing::ReadStreams(dir / "MJPG.mp4");
  ASSERT_EQ(mjpg.size(), 2u);
  EXPECT_EQ(mjpg[1].codec, AV_CODEC_ID_AAC);
  for (const char* file : {"scene/movie.avi", "H264.mp4"}) {
    SCOPED_TRACE(file);
    const std::vector<Stream> streams = testing::ReadStreams(dir / file);
    ASSERT_FALSE(streams.empty());
    EXPECT_EQ(streams[0].codec, AV_CODEC_ID_H264);
    EXPECT_EQ(streams[0].frames.size(), 10u);
    ASSERT_EQ(streams[0].packets.size(), 10u);
    for (int k = 1; k <= 3; ++k) {
      const std::string record = testing::ReadFile(dir / ("scene/movie.part-" + std::to_string(k) + "-of-3.txt"));
      const size_t first = std::stoul(record.substr(record.find("\nframes=") + 8));
      ASSERT_LT(first, 10u);
      EXPECT_TRUE(streams[0].packets[first].key) << k;
    }
  }
}

TEST(JoinedFile, FailuresLeaveNoFileAndEndTheRunWithStatusOne) {
  const std::string refusal = "エラー : 圧縮形式 DIB は .mp4 ファイルに格納できません (.mkv なら格納できます) : ";
  const std::string failure = "エラー : 出力ファイルを書き出せませんでした : ";
  struct Case {
    std::vector<std::string> args;
    std::string input, output, line, cause;
    int status;
    bool avi, wav;  // left by the passes
  };
  const Case cases[] = {
      {{"--codec", "dib"}, "", "x.mp4", refusal, "", 255, false, false},
      // Chosen in the menu (Enter takes DIB): refused before the first frame, no sound pass.
      {{}, "\n", "x.mp4", refusal, "", 1, false, false},
      {{}, "q\n", "x.mkv", failure, " (動画が作成されませんでした)", 1, false, true},
      {{"--codec", "DIB"}, "", "folder.mkv", failure, " (Is a directory)", 1, true, true},
      {{"--codec", "DIB"}, "", "missing/x.mkv", failure, " (No such file or directory)", 1, true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.output);
    TempDir dir;
    WriteScene(dir, true);
    std::filesystem::create_directory(dir / "folder.mkv");
    std::vector<std::string> args = c.args;
    args.insert(args.end(), {"-o", c.output, "scene/movie.xml"});
    const auto result = testing::RunTalmora(args, dir.path(), c.input);
    EXPECT_EQ(result.status, c.status);
    EXPECT_NE(result.out.find(c.line + (dir / c.output) + c.cause + "\n"), std::string::npos) << result.out;
    if (c.status == 255) {
      EXPECT_EQ(result.out, testing::kDeviceLines + c.line + (dir / c.output) + "\n");
    }
    EXPECT_EQ(std::filesystem::exists(dir / "scene/movie.avi"), c.avi);
    EXPECT_EQ(std::filesystem::exists(dir / "scene/movie.wav"), c.wav);
    EXPECT_TRUE(std::filesystem::is_empty(dir / "folder.mkv"));
    EXPECT_EQ(testing::Names(dir.path()), (std::set<std::string>{"scene", "folder.mkv"}));
  }
}

}  // namespace
}  // namespace talmora
