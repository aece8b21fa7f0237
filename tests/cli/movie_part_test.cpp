// Parts of the movie as a script's author asks for them: one frame as a picture, a stretch of
// frames and samples, a scaled render, the progress file. Each must match the full render.

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <regex>

#include "platform/render/picture_decoder.h"
#include "render/picture_files.h"
#include "sound/sound_files.h"
#include "support/cli_harness.h"
#include "support/dib_frames.h"
#include "support/script_fixture.h"
#include "video/movie_part.h"
#include "video/video_object.h"

namespace talmora {
namespace {

using testing::RunTalmora;
using testing::TempDir;

constexpr int kTrackFrameBytes = 4;
constexpr int kHeader = 44;

// 2 s at 10 fps: a picture moving in from 0.2 to 0.5 s, a text fading out over the second
// second, a sound with a volume ramp and its own rate across both, and an endless resampled loop
// from before the start.
const std::string kScript =
    R"(<talmora width="64" height="48" fps="10" length="2" r="0.1" g="0.2" b="0.3" a="1">)"
    R"(<image src="pic.pam" x="0" xend="30" y="4" width="24" height="16" time="0.2" duration="0.3"/>)"
    R"(<text sentence="Ag" fontsize="20" x="4" y="20" width="60" height="28" time="1" duration="1" aend="0"/>)"
    R"(<sound src="noise.wav" time="0.3" duration="1.5" volume="0.2" volumeend="1" frequency="30000"/>)"
    R"(<sound src="short.wav" time="-0.6" loop="yes" loopcount="-1" frequency="30000"/>)"
    "</talmora>";

class MoviePart : public ::testing::Test {
 protected:
  void SetUp() override {
    std::vector<uint32_t> pixels(24 * 16);
    for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = 0xFF000000u | static_cast<uint32_t>(i * 2654435761u >> 8);
    WritePam(dir_ / "pic.pam", 24, 16, pixels);
    dir_.Write("noise.wav", test::Wav(44100, 2, 16, test::Noise(2, 44100 * 2)));
    dir_.Write("short.wav", test::Wav(44100, 2, 16, test::Noise(2, 4410, 7)));
    dir_.Write("movie.xml", kScript);
  }

  // The movie and the track data of a DIB render with `args` before the script, which writes
  // them as `name`.avi and .wav.
  std::pair<testing::DibFrames, std::string> Render(std::vector<std::string> args, const std::string& name = "movie") {
    args.insert(args.end(), {"--codec", "DIB", "movie.xml"});
    out_ = RunTalmora(args, dir_.path()).out;
    EXPECT_NE(out_.find("aviの作成が完了しました\n"), std::string::npos) << out_;
    return {testing::ReadDibFrames(dir_ / (name + ".avi")), testing::ReadFile(dir_ / (name + ".wav"))};
  }

  // Part k of n with `args`, status 0.
  void RenderPart(int k, int n, std::vector<std::string> args = {"--codec", "MJPG"}) {
    args.insert(args.end(), {"--part", std::to_string(k) + "/" + std::to_string(n), "movie.xml"});
    const auto run = RunTalmora(args, dir_.path());
    EXPECT_EQ(run.status, 0) << run.out;
  }

  // The file `name` of part k of n.
  std::string PartFile(int k, int n, const std::string& extension) const {
    return dir_ / ("movie.part-" + std::to_string(k) + "-of-" + std::to_string(n) + extension);
  }

  TempDir dir_;
  std::string out_;
};

TEST(MoviePartCut, PartsCostAlikeAndStartOnKeyFrames) {
  struct Case {
    std::vector<double> costs;
    int32_t count, parts, spacing;
    std::vector<int32_t> cuts;
  };
  const Case cases[] = {
      {std::vector<double>(10, 1.0), 10, 3, 1, {0, 3, 7, 10}},
      {{}, 10, 3, 1, {0, 3, 7, 10}},  // no estimate: by length
      {{10, 1, 1, 1, 1, 1, 1, 1, 1, 1}, 10, 2, 1, {0, 1, 10}},
      {{1, 1, 1, 1, 1, 1, 1, 1, 1, 10}, 10, 2, 1, {0, 9, 10}},
      // On key frames 4 apart, the nearest place on either side; past the last key frame, the end.
      {std::vector<double>(10, 1.0), 10, 3, 4, {0, 4, 8, 10}},
      {std::vector<double>(5, 1.0), 5, 3, 12, {0, 0, 5, 5}},
      {std::vector<double>(5, 1.0), 5, 2, 2147483647, {0, 0, 5}},  // --keyframe at its largest
      {std::vector<double>(3, 1.0), 3, 5, 1, {0, 1, 1, 2, 2, 3}},
      {std::vector<double>(7, 1.0), 7, 1, 1, {0, 7}},
      {{}, 0, 3, 1, {0, 0, 0, 0}},
  };
  for (const Case& c : cases) EXPECT_EQ(CutParts(c.costs, c.count, c.parts, c.spacing), c.cuts) << c.count << " in " << c.parts;

  // A frame costs 1 and what shows on it more, a fade more again for H.264; off screen, nothing.
  testing::ScriptFixture fixture;
  const TagList tags = fixture.Load(R"(<image x="0" y="0" width="40" height="20" time="0.25" duration="0.3" aend="0.5"/>)"
                                    R"(<image x="-100" y="0" width="40" height="20" time="0" duration="1"/>)");
  const std::vector<std::shared_ptr<VideoObject>> objects = {fixture.factory.Create<VideoObject>(tags[1]),
                                                             fixture.factory.Create<VideoObject>(tags[2])};
  const std::vector<double> plain = FrameCosts(objects, 10, 10, 40, 20, false), predicted = FrameCosts(objects, 10, 10, 40, 20, true);
  ASSERT_EQ(plain.size(), 10u);
  for (size_t i = 0; i < 10; ++i) {
    const bool shown = i >= 3 && i <= 5;
    EXPECT_EQ(plain[i] == 1, !shown) << plain[i] << " at " << i;
    EXPECT_EQ(predicted[i] > plain[i], shown) << i;
  }
}

TEST_F(MoviePart, PreviewsAndPartsNeverReplaceTheMoviesFiles) {
  ASSERT_EQ(RunTalmora({"--codec", "DIB", "movie.xml"}, dir_.path()).status, 0);
  const std::string movie = testing::ReadFile(dir_ / "movie.avi"), track = testing::ReadFile(dir_ / "movie.wav");
  const std::pair<std::vector<std::string>, std::string> runs[] = {
      {{"--scale", "0.5"}, "movie.x0.5"},
      {{"--from", "0.5", "--to", "1"}, "movie.0.5-1s"},
      {{"--from", "1.5"}, "movie.1.5s-end"},
      {{"--to", "1", "--scale", "2", "-o", "preview.mkv"}, "movie.0-1s.x2"},
      {{"--part", "2/3"}, "movie.part-2-of-3"},
      {{"--part", "1/2", "--scale", "0.25"}, "movie.part-1-of-2.x0.25"},
  };
  std::set<std::string> names{"movie.xml", "pic.pam", "noise.wav", "short.wav", "movie.avi", "movie.wav", "preview.mkv"};
  for (const auto& [args, name] : runs) {
    std::vector<std::string> run = {"--codec", "DIB"};
    run.insert(run.end(), args.begin(), args.end());
    run.push_back("movie.xml");
    const auto result = RunTalmora(run, dir_.path());
    EXPECT_EQ(result.status, 0) << name << result.out;
    names.insert({name + ".avi", name + ".wav"});
    if (name.starts_with("movie.part-")) names.insert(name + ".txt");
  }
  EXPECT_EQ(testing::Names(dir_.path()), names);
  EXPECT_TRUE(testing::ReadFile(dir_ / "movie.avi") == movie);
  EXPECT_TRUE(testing::ReadFile(dir_ / "movie.wav") == track);
  EXPECT_EQ(testing::ReadDibFrames(dir_ / "movie.part-1-of-2.x0.25.avi").width, 16);
}

// For each compressor whose stream a fresh start can continue, parts joined are the single
// render's files byte for byte, whether the parts are one, a few, or more than FFV1's key
// frames allow (the surplus parts hold no frames).
TEST_F(MoviePart, PartsJoinIntoExactlyTheSingleRendersFiles) {
  for (const std::string codec : {"MJPG", "FFV1", "DIB"}) {
    ASSERT_EQ(RunTalmora({"--codec", codec, "movie.xml"}, dir_.path()).status, 0);
    const std::string movie = testing::ReadFile(dir_ / "movie.avi"), track = testing::ReadFile(dir_ / "movie.wav");
    for (const int n : {1, 3, 7}) {
      SCOPED_TRACE(codec + " in " + std::to_string(n));
      std::filesystem::remove(dir_ / "movie.avi");
      std::filesystem::remove(dir_ / "movie.wav");
      for (int k = 1; k <= n; ++k) RenderPart(k, n, {"--codec", codec});
      const auto join = RunTalmora({"--codec", codec, "--join", std::to_string(n), "movie.xml"}, dir_.path());
      EXPECT_EQ(join.out, testing::kDeviceLines + "部品の結合開始 : " + std::to_string(n) + " 個\naviの結合が完了しました : " +
                              (dir_ / "movie.avi") + "\nwavの結合が完了しました : " + (dir_ / "movie.wav") + "\n" +
                              testing::kClosingLine);
      EXPECT_EQ(join.status, 0);
      EXPECT_TRUE(testing::ReadFile(dir_ / "movie.avi") == movie);
      EXPECT_TRUE(testing::ReadFile(dir_ / "movie.wav") == track);
      for (int k = 1; k <= n; ++k) {
        for (const char* extension : {".avi", ".wav", ".txt"}) std::filesystem::remove(PartFile(k, n, extension));
      }
    }
  }
}

TEST_F(MoviePart, TheJoinRefusesPartsThatAreMissingUnfinishedOrForeign) {
  for (const char* name : {"TALMORA_PART", "SLURM_ARRAY_TASK_ID", "JOB_COMPLETION_INDEX", "AWS_BATCH_JOB_ARRAY_INDEX"}) {
    ::unsetenv(name);
  }
  for (int k = 1; k <= 6; ++k) RenderPart(k, 6);
  // Gone; its record gone; its movie cut short; other options; a garbled record; a record
  // whose frames do not follow the part before.
  for (const char* extension : {".avi", ".wav", ".txt"}) std::filesystem::remove(PartFile(1, 6, extension));
  std::filesystem::remove(PartFile(2, 6, ".txt"));
  std::filesystem::resize_file(PartFile(3, 6, ".avi"), std::filesystem::file_size(PartFile(3, 6, ".avi")) - 100);
  RenderPart(4, 6, {"--codec", "MJPG", "--quality", "5000"});
  dir_.Write("movie.part-5-of-6.txt", "talmora-part=1\nscript=\n");
  const std::string record = testing::ReadFile(PartFile(6, 6, ".txt"));
  std::smatch frames;
  ASSERT_TRUE(std::regex_search(record, frames, std::regex("frames=(\\d+)-")));
  const int first = std::stoi(frames[1]);
  dir_.Write("movie.part-6-of-6.txt", std::regex_replace(record, std::regex("frames=\\d+-"),
                                                         "frames=" + std::to_string(first + 1) + "-"));
  const auto join = RunTalmora({"--codec", "MJPG", "--join", "6", "-o", "movie.mkv", "movie.xml"}, dir_.path());
  const auto line = [&](int k, const std::string& what, const std::string& extension) {
    return "エラー : 部品 " + std::to_string(k) + "/6 " + what + " : " + PartFile(k, 6, extension) + "\n";
  };
  EXPECT_EQ(join.out, testing::kDeviceLines + "部品の結合開始 : 6 個\n" + line(1, "がありません", ".avi") +
                          line(2, "は書き終わっていません (記録がありません)", ".txt") +
                          line(3, "は書き終わっていません (動画が記録と違います)", ".avi") +
                          line(4, "は別のオプションで描かれています (--codec MJPG --quality 5000)", ".txt") +
                          line(5, "の記録が読めません", ".txt") +
                          "エラー : 出力ファイルを書き出せませんでした : " + (dir_ / "movie.mkv") +
                          " (動画が作成されませんでした)\n" + testing::kClosingLine);
  EXPECT_EQ(join.status, 1);
  EXPECT_FALSE(std::filesystem::exists(dir_ / "movie.avi") || std::filesystem::exists(dir_ / "movie.wav") ||
               std::filesystem::exists(dir_ / "movie.mkv"));
  // With the others whole, the one that does not follow on is named.
  for (int k = 1; k <= 5; ++k) RenderPart(k, 6);
  const auto gap = RunTalmora({"--codec", "MJPG", "--join", "6", "movie.xml"}, dir_.path());
  EXPECT_NE(gap.out.find(line(6, "のフレーム " + std::to_string(first + 1) + "-20 は 前の部品の終わり " +
                                     std::to_string(first) + " から続いていません", ".txt")),
            std::string::npos) << gap.out;
  EXPECT_EQ(gap.status, 1);

  // Parts of an earlier version of the script are foreign, however whole.
  RenderPart(6, 6);
  dir_.Write("movie.xml", kScript + "\n");
  const auto foreign = RunTalmora({"--codec", "MJPG", "--join", "6", "movie.xml"}, dir_.path());
  EXPECT_EQ(testing::Count(foreign.out, "は別のスクリプトから描かれています"), 6u) << foreign.out;
  EXPECT_EQ(foreign.status, 1);

  // A part taken from the job engine's index that could not draw everything is joined, and the
  // join says so with status 2, as the single render would.
  std::filesystem::rename(dir_ / "pic.pam", dir_ / "gone.pam");
  ::setenv("TALMORA_PART", "1", 1);
  EXPECT_EQ(RunTalmora({"--codec", "MJPG", "--part", "auto/2", "movie.xml"}, dir_.path()).status, 2);
  ::unsetenv("TALMORA_PART");
  RenderPart(2, 2);
  const auto failed = RunTalmora({"--codec", "MJPG", "--join", "2", "movie.xml"}, dir_.path());
  EXPECT_NE(failed.out.find("エラー : 部品 1/2 では描けなかったもの、読めなかった値があります : " + PartFile(1, 2, ".txt")),
            std::string::npos) << failed.out;
  EXPECT_EQ(failed.status, 2);
  EXPECT_TRUE(std::filesystem::exists(dir_ / "movie.avi") && std::filesystem::exists(dir_ / "movie.wav"));
}

// Stretches and single frames hold the full render's frames and samples; stretches join into it.
TEST_F(MoviePart, StretchesAndFramePicturesHoldTheFullRendersFramesAndSamples) {
  const auto [full, track] = Render({});
  ASSERT_EQ(full.pixels.size(), 20u);
  ASSERT_EQ(track.size(), kHeader + 88200u * kTrackFrameBytes);
  std::string joined_track;
  std::vector<std::vector<uint32_t>> joined_frames;
  for (const auto& [from, to] : {std::pair{"0", "1"}, {"1", "2"}}) {
    const auto [frames, part] =
        Render({"--from", from, "--to", to, "--progress", "progress.txt"}, "movie." + std::string(from) + "-" + to + "s");
    EXPECT_NE(out_.find("10 / 10 フレーム\r"), std::string::npos) << out_;
    EXPECT_EQ(part.size(), kHeader + 44100u * kTrackFrameBytes);
    EXPECT_EQ(part.substr(4, 4), std::string("\x34\xB1\x02\x00", 4));  // RIFF size 36 + 176400
    joined_frames.insert(joined_frames.end(), frames.pixels.begin(), frames.pixels.end());
    joined_track += part.substr(kHeader);
    const std::string progress = testing::ReadFile(dir_ / "progress.txt");
    EXPECT_EQ(testing::Count(progress, "progress=continue\n"), 10u);
    const std::string last = progress.substr(progress.rfind("frame="));
    EXPECT_TRUE(last.starts_with("frame=10\ntotal_frames=10\nfps=")) << progress;
    EXPECT_TRUE(last.ends_with("\nout_time_s=1.000000\nprogress=end\n")) << progress;
  }
  EXPECT_TRUE(joined_frames == full.pixels);
  EXPECT_TRUE(joined_track == track.substr(kHeader));
  // A stretch off frame boundaries: frames 3 to 7, samples trunc(0.25 × 44100) = 11025 to 33075.
  const auto [stretch, part] = Render({"--from", "0.25", "--to", "0.75"}, "movie.0.25-0.75s");
  ASSERT_EQ(stretch.pixels.size(), 5u);
  EXPECT_TRUE(stretch.pixels.front() == full.pixels[3] && stretch.pixels.back() == full.pixels[7]);
  EXPECT_TRUE(part.substr(kHeader) == track.substr(kHeader + 11025 * kTrackFrameBytes, 22050 * kTrackFrameBytes));
  std::filesystem::remove(dir_ / "movie.avi");
  std::filesystem::remove(dir_ / "movie.wav");
  // The frame on screen at each time; the picture shows in frames 2 to 4, the text fades in 10 to 19.
  for (const auto& [time, index] : std::vector<std::pair<std::string, size_t>>{
           {"0", 0}, {"0.2", 2}, {"0.29", 2}, {"0.5", 5}, {"1.0", 10}, {"1.99", 19}}) {
    const auto run = RunTalmora({"--frame", time, "-o", "shot.png", "movie.xml"}, dir_.path());
    EXPECT_EQ(run.status, 0) << time;
    const auto picture = DecodePicture(dir_ / "shot.png");
    ASSERT_TRUE(picture) << time << run.out;
    ASSERT_EQ(picture->Width(), 64);
    size_t differing = 0;
    for (int y = 0; y < 48; ++y) {
      for (int x = 0; x < 64; ++x) differing += (picture->Row(y)[x] ^ full.At(index, x, y)) & 0xFFFFFF ? 1 : 0;
    }
    EXPECT_EQ(differing, 0u) << "--frame " << time << " against frame " << index;
    // Only what shows in that frame is loaded.
    EXPECT_EQ(run.out.find("pic.pam\n") != std::string::npos, index >= 2 && index <= 4) << run.out;
    EXPECT_EQ(run.out.find("Ag\n") != std::string::npos, index >= 10) << run.out;
  }
  EXPECT_FALSE(std::filesystem::exists(dir_ / "movie.avi"));
  EXPECT_FALSE(std::filesystem::exists(dir_ / "movie.wav"));
  // By default next to the script; a path given is the start folder's. Past the end, nothing.
  dir_.Write("sub/movie.xml", kScript);
  // (Its sounds are not in sub/: the picture is written, the run says something failed.)
  EXPECT_EQ(RunTalmora({"--frame", "1.99", "sub/movie.xml"}, dir_.path()).status, 2);
  EXPECT_EQ(RunTalmora({"--frame", "1.99", "-o", "here.png", "sub/movie.xml"}, dir_.path()).status, 2);
  EXPECT_TRUE(std::filesystem::exists(dir_ / "sub/movie.png"));
  EXPECT_TRUE(std::filesystem::exists(dir_ / "here.png"));
  for (const auto& [option, time, output] : {std::array{"--frame", "2", "late.png"}, {"--frame", "2.5", "late.png"},
                                            {"--frame", "99", "late.png"}, {"--from", "2", "late.avi"}}) {
    const auto past = RunTalmora({option, time, "-o", output, "movie.xml"}, dir_.path());
    EXPECT_EQ(past.status, 1);
    EXPECT_NE(past.out.find("エラー : " + std::string(option) + " " + time + " の時刻に描くフレームがありません (動画の長さ 2 秒)\n"),
              std::string::npos) << past.out;
    EXPECT_FALSE(std::filesystem::exists(dir_ / output));
  }
}

TEST_F(MoviePart, AScaledRenderIsTheFullPictureResized) {
  dir_.Write("movie.xml", R"(<talmora width="120" height="80" fps="10" length="1" a="1">)"
                          R"(<image src="pic.pam" x="10" y="6" width="96" height="64" time="0" duration="1"/>)"
                          R"(<text sentence="Hello" fontsize="32" x="8" y="30" width="110" height="40" time="0" duration="1"/>)"
                          "</talmora>");
  ASSERT_EQ(RunTalmora({"--frame", "0.5", "-o", "full.png", "movie.xml"}, dir_.path()).status, 0);
  ASSERT_EQ(RunTalmora({"--frame", "0.5", "--scale", "0.5", "-o", "half.png", "movie.xml"}, dir_.path()).status, 0);
  const auto full = DecodePicture(dir_ / "full.png");
  const auto half = DecodePicture(dir_ / "half.png");
  ASSERT_TRUE(full && half);
  ASSERT_EQ(half->Width(), 60);
  ASSERT_EQ(half->Height(), 40);
  double difference = 0;
  for (int y = 0; y < 40; ++y) {
    for (int x = 0; x < 60; ++x) {
      for (int shift : {0, 8, 16}) {
        const auto channel = [&](int fx, int fy) { return static_cast<int>(full->Row(fy)[fx] >> shift & 0xFF); };
        const double shrunk =
            (channel(2 * x, 2 * y) + channel(2 * x + 1, 2 * y) + channel(2 * x, 2 * y + 1) + channel(2 * x + 1, 2 * y + 1)) / 4.0;
        difference += std::abs(shrunk - static_cast<int>(half->Row(y)[x] >> shift & 0xFF));
      }
    }
  }
  EXPECT_LT(difference / (60 * 40 * 3), 6.0);
  // H.264 takes only even sides: an odd script still renders at half size.
  dir_.Write("odd.xml", R"(<talmora width="1281" height="721" fps="10" length="0.3"><text sentence="x" time="0" duration="1"/></talmora>)");
  const auto odd = RunTalmora({"--scale", "0.5", "--codec", "H264", "odd.xml"}, dir_.path());
  EXPECT_NE(odd.out.find("aviの作成が完了しました\n"), std::string::npos) << odd.out;
  const auto avi = testing::WalkAvi(dir_ / "odd.x0.5.avi");
  EXPECT_EQ(avi.error, "");
  EXPECT_EQ(avi.width, 640u);
  EXPECT_EQ(avi.height, 360u);
  EXPECT_EQ(avi.frames.size(), 3u);
  // A scale past the largest side is refused on one line before anything is made; up to it, drawn.
  dir_.Write("wide.xml", R"(<talmora width="8192" height="8" fps="10" length="0.2"><sound src="noise.wav"/></talmora>)");
  for (const std::vector<std::string>& args : {std::vector<std::string>{"--codec", "DIB"}, {"--frame", "0"}}) {
    for (const auto& [scale, size] : {std::pair{"4", "32768 × 32"}, {"2.0001", "16385 × 16"}}) {
      auto run = args;
      run.insert(run.end(), {"--scale", scale, "wide.xml"});
      const auto refused = RunTalmora(run, dir_.path());
      EXPECT_EQ(refused.out, testing::kDeviceLines + "XMLのパースが完了しました\nスクリプトパース完了\nエラー : --scale " + scale +
                                 " では動画の大きさが " + size + " になり使えません。幅・高さとも 1 から 16384 までです\n" +
                                 testing::kClosingLine);
      EXPECT_EQ(refused.status, 1);
    }
    EXPECT_EQ(testing::Names(dir_.path()), (std::set<std::string>{"movie.xml", "pic.pam", "noise.wav", "short.wav",
                                                                    "full.png", "half.png", "odd.xml", "odd.x0.5.avi",
                                                                    "wide.xml"}));
  }
  EXPECT_EQ(RunTalmora({"--frame", "0", "--scale", "2", "wide.xml"}, dir_.path()).status, 0);
  const auto widest = DecodePicture(dir_ / "wide.png");
  ASSERT_TRUE(widest);
  EXPECT_EQ(widest->Width(), 16384);
}

}  // namespace
}  // namespace talmora
