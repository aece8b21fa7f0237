// Failures of the movie as a user meets them on the command line, and which files they leave.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <filesystem>
#include <optional>
#include <set>
#include <thread>

#include "render/picture_files.h"
#include "sound/sound_files.h"
#include "support/cli_harness.h"
#include "support/riff_walk.h"

namespace talmora {
namespace {

using testing::Names;
using testing::TempDir;

// A script of `root_attributes` with a second of silence (44.1 kHz, 16-bit stereo), so that the
// sound pass has a file to mix.
void WriteScript(const TempDir& dir, const std::string& root_attributes) {
  dir.Write("tone.wav", test::Wav(44100, 2, 16, std::vector<int16_t>(2 * 44100)));
  dir.Write("movie.xml", "<talmora " + root_attributes + "><sound src=\"tone.wav\"/></talmora>");
}

bool Exists(const TempDir& dir, const std::string& name) { return std::filesystem::exists(dir / name); }

TEST(MovieCommandLine, FailuresOfTheMovieLeaveNoVideoWhileTheSoundPassRunsAndEndWithStatusOne) {
  const std::string no_target =
      "エラー : レンダリングターゲットテクスチャの作成に失敗しました\nエラー : サーフィス→ビットマップへの変換に失敗しました\n";
  const auto out_of_range = [&](const std::string& size) {
    return no_target + "エラー : 動画の大きさ " + size + " は使えません。幅・高さとも 1 から 16384 までです\n";
  };
  const std::string too_long_track = "エラー : 動画が長すぎてWAVファイルの上限(4GB)を超えます : ";
  struct Case {
    std::string root, codec, typed, message;
    int status = 1;
    bool avi = false, wav = true;
  };
  for (const Case& c : std::vector<Case>{
           {"length=\"1\"", "", "q\n", "エラー : 圧縮形式の選択がキャンセルされました\n"},
           {"width=\"33\" length=\"1\"", "h264", "", "エラー : 圧縮形式 h264 ではこのフレームを圧縮できません (33 × 384、30 fps)\n"},
           {"width=\"0\" length=\"1\"", "", "", out_of_range("0 × 384")},
           {"height=\"-1\" length=\"1\"", "", "", out_of_range("512 × -1")},
           {"width=\"16385\" length=\"1\"", "", "", out_of_range("16385 × 384")},
           {"width=\"2147483647\" height=\"2\" length=\"1\"", "", "", out_of_range("2147483647 × 2")},
           // More frames than a movie can count: nothing is made, not an empty movie.
           {"width=\"8\" height=\"8\" length=\"1e308\"", "DIB ", "",
            "avi作成開始\nエラー : 動画の長さ 1e+308 秒は 30 fps でフレーム数の上限 2147483647 を超えます\n" + too_long_track,
            1, false, false},
           {"width=\"8\" height=\"8\" fps=\"1\" length=\"2147483648\"", "DIB ", "",
            "エラー : 動画の長さ 2147483648 秒は 1 fps でフレーム数の上限 2147483647 を超えます\n", 1, false, false},
           // No frames at all is a movie all the same.
           {"width=\"8\" height=\"8\" length=\"0\"", "DIB ", "", "avi作成開始\naviの作成が完了しました\n", 0, true},
           {"width=\"8\" height=\"8\" length=\"-5\"", "DIB ", "", "avi作成開始\naviの作成が完了しました\n", 0, true},
           {"width=\"8\" height=\"8\" fps=\"0\" length=\"1\"", "DIB ", "", "avi作成開始\naviの作成が完了しました\n", 0, true}}) {
    TempDir dir;
    WriteScript(dir, c.root);
    const auto result = testing::RunTalmora(c.codec.empty() ? std::vector<std::string>{"movie.xml"}
                                                            : std::vector<std::string>{"--codec", c.codec, "movie.xml"},
                                            dir.path(), c.typed);
    EXPECT_EQ(result.status, c.status) << c.root;
    EXPECT_NE(result.out.find(c.message), std::string::npos) << result.out;
    EXPECT_TRUE(result.out.ends_with(testing::kClosingLine)) << c.root;
    EXPECT_EQ(Exists(dir, "movie.avi"), c.avi) << c.root;
    EXPECT_EQ(Exists(dir, "movie.wav"), c.wav) << c.root;
  }
  // A movie file that cannot be made: the track is still written, the run did not make it all.
  TempDir dir;
  WriteScript(dir, "length=\"1\"");
  std::filesystem::create_directory(dir / "movie.avi");
  const auto result = testing::RunTalmora({"--codec", "DIB ", "movie.xml"}, dir.path());
  EXPECT_NE(result.out.find("エラー : aviファイルのオープンに失敗しました\n"), std::string::npos) << result.out;
  EXPECT_EQ(result.status, 1);
  EXPECT_TRUE(Exists(dir, "movie.wav"));
}

// Whichever pass or question a signal interrupts, the last movie and track stay as they were
// and no temporary is left. A console that goes away (signal 0: its reader closes it) ends the
// run alike.
TEST(MovieCommandLine, AnInterruptLeavesTheLastFilesWholeAndNoTemporaries) {
  struct Case { std::string root, sound, codec, marker; int signal, status; bool movie_kept; };
  const std::string tone = "<sound src=\"tone.wav\"/>";
  const Case cases[] = {
      {"width=\"64\" height=\"64\" length=\"3600\"", tone, "DIB ", "1 / 108000", SIGINT, 130, true},
      {"width=\"64\" height=\"64\" length=\"3600\"", tone, "DIB ", "1 / 108000", 0, 141, true},
      // A tiny movie, and an hour of track still mixing when it is done.
      {"width=\"16\" height=\"16\" fps=\"1\" length=\"3600\"",
       "<sound time=\"0\" duration=\"3600\" loop=\"yes\" loopcount=\"-1\" src=\"tone.wav\"/>", "DIB ",
       "aviの作成が完了しました\n", SIGTERM, 143, false},
      {"length=\"1\"", tone, "", "圧縮形式 :\n", SIGTERM, 143, true},
  };
  for (const Case& c : cases) {
    TempDir dir;
    WriteScript(dir, c.root);
    dir.Write("movie.xml", "<talmora " + c.root + ">" + c.sound + "</talmora>");
    const std::string old_movie = dir.Write("movie.avi", "last good movie"), old_track = dir.Write("movie.wav", "last track");
    const auto result = testing::RunTalmora(c.codec.empty() ? std::vector<std::string>{"movie.xml"}
                                                            : std::vector<std::string>{"--codec", c.codec, "movie.xml"},
                                            dir.path(), "", {c.marker, c.signal});
    EXPECT_EQ(result.status, c.status) << c.marker;
    EXPECT_TRUE(testing::ReadFile(old_track) == "last track") << c.marker;
    if (c.movie_kept) {
      EXPECT_TRUE(testing::ReadFile(old_movie) == "last good movie") << c.marker;
    } else {
      EXPECT_EQ(testing::WalkAvi(old_movie).frames.size(), 3600u) << c.marker;
    }
    EXPECT_EQ(Names(dir.path()), (std::set<std::string>{"movie.xml", "tone.wav", "movie.avi", "movie.wav"}));
  }
}

// Reads a pipe on a thread of its own, from before the run: to its end, or until `leave_after`
// bytes have come, and then it goes away.
class PipeReader {
 public:
  PipeReader(const std::string& path, size_t leave_after)
      : read_(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC)),
        // A writer of our own, so that the reader does not see the end before the program opens it.
        hold_(::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC)) {
    ::fcntl(read_, F_SETFL, 0);
    thread_ = std::jthread([this, leave_after] {
      char buffer[4096];
      for (ssize_t n; data_.size() < leave_after && (n = ::read(read_, buffer, sizeof buffer)) > 0;) {
        data_.append(buffer, static_cast<size_t>(n));
      }
      ::close(read_);
    });
  }
  ~PipeReader() { Finish(); }
  // What was read, once the program is done.
  const std::string& Finish() {
    if (hold_ >= 0) ::close(std::exchange(hold_, -1));
    if (thread_.joinable()) thread_.join();
    return data_;
  }

 private:
  int read_, hold_;
  std::string data_;
  std::jthread thread_;
};

// A picture or progress written into a pipe: refused at once when nobody reads it, written while
// someone does; a progress reader that goes away, or a progress file the disk refuses, stops the
// report with one line and the run ends with status 2, the movie whole.
TEST(MovieCommandLine, PipesAreWrittenWhileSomeoneReadsThem) {
  enum Reader { kNone, kReadsAll, kLeaves };
  struct Case {
    std::vector<std::string> args;
    Reader reader;
    std::string line, data_start;
    int status;
  };
  const std::string stopped = "エラー : 進み具合の出力先に書き込めなくなったため、進み具合の出力を止めます : ";
  const Case cases[] = {
      {{"--frame", "0", "-o", "pipe.png"}, kNone,
       "エラー : PNG画像の書き出しに失敗しました : {}/pipe.png (No such device or address)\n", "", 1},
      {{"--frame", "0", "-o", "pipe.png"}, kReadsAll, "PNG画像を書き出しました : {}/pipe.png\n", "\x89PNG", 0},
      {{"--codec", "DIB", "--progress", "pipe"}, kReadsAll, "aviの作成が完了しました\n", "frame=1\n", 0},
      {{"--codec", "DIB", "--progress", "pipe"}, kLeaves, stopped + "pipe (Broken pipe)\n", "frame=1\n", 2},
      {{"--codec", "DIB", "--progress", "/dev/full"}, kNone, stopped + "/dev/full (No space left on device)\n", "", 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.back() + " " + std::to_string(c.reader));
    TempDir dir;
    // 2000 frames: far more progress than a pipe holds, so it is still coming when the reader leaves.
    dir.Write("movie.xml", R"(<talmora width="8" height="8" fps="100" length="20"/>)");
    ASSERT_EQ(::mkfifo((dir / "pipe.png").c_str(), 0600), 0);
    ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0600), 0);
    std::optional<PipeReader> reader;
    if (c.reader != kNone) reader.emplace(dir / c.args.back(), c.reader == kLeaves ? 16384 : SIZE_MAX);
    std::vector<std::string> args = c.args;
    args.push_back("movie.xml");
    const auto result = testing::RunTalmora(args, dir.path());
    std::string line = c.line;
    if (const size_t at = line.find("{}"); at != std::string::npos) line.replace(at, 2, dir.path());
    EXPECT_NE(result.out.find(line), std::string::npos) << result.out;
    EXPECT_EQ(testing::Count(result.out, stopped), c.status == 2 ? 1u : 0u);
    EXPECT_EQ(result.status, c.status);
    if (reader) {
      EXPECT_TRUE(reader->Finish().starts_with(c.data_start));
    }
    if (c.args.front() == "--codec") {
      EXPECT_EQ(testing::WalkAvi(dir / "movie.avi").frames.size(), 2000u);
    }
  }
}

// Two runs at once onto the same files (the second folder's outputs link to the first's) each
// write their own temporaries: whichever finishes last leaves its files, each whole, not a mix
// of the two movies' frames.
TEST(MovieCommandLine, TwoRunsAtOnceLeaveWholeFiles) {
  TempDir dir;
  WriteScript(dir, "");
  for (const std::string colour : {"r", "b"}) {
    dir.Write(colour + "/movie.xml", "<talmora width=\"256\" height=\"256\" length=\"10\" a=\"1\" " + colour +
                                         "=\"1\"><sound src=\"" + (dir / "tone.wav") + "\"/></talmora>");
  }
  for (const std::string name : {"movie.avi", "movie.wav"}) {
    std::filesystem::create_symlink("../r/" + name, dir / ("b/" + name));
  }
  testing::RunResult runs[2];
  {
    std::jthread red([&] { runs[0] = testing::RunTalmora({"--codec", "DIB ", "movie.xml"}, dir / "r"); });
    runs[1] = testing::RunTalmora({"--codec", "DIB ", "movie.xml"}, dir / "b");
  }
  for (const auto& run : runs) {
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.out.find("aviの作成が完了しました\n"), std::string::npos) << run.out;
  }
  const std::string movie = dir / "r/movie.avi";
  const testing::AviLayout avi = testing::WalkAvi(movie);
  EXPECT_EQ(avi.error, "");
  ASSERT_EQ(avi.frames.size(), 300u);
  EXPECT_EQ(avi.idx1_keys.size(), 300u);
  const auto first = testing::ReadChunk(movie, avi.frames[0]);
  EXPECT_EQ(std::count_if(avi.frames.begin(), avi.frames.end(),
                          [&](const auto& frame) { return testing::ReadChunk(movie, frame) != first; }), 0);
  EXPECT_EQ(std::filesystem::file_size(dir / "r/movie.wav"), 44u + 10 * 44100 * 4);
  EXPECT_EQ(Names(dir / "r"), (std::set<std::string>{"movie.xml", "movie.avi", "movie.wav"}));
}

// A full disk names the file and the reason after each failure line, drops what was written
// and leaves the files there before.
TEST(MovieCommandLine, AFullDiskKeepsTheLastFilesAndSaysWhy) {
  TempDir dir;
  WriteScript(dir, "");
  const std::string small = dir / "small";
  std::filesystem::create_directory(small);
  if (::mount("tmpfs", small.c_str(), "tmpfs", 0, "size=512k") != 0) {
    GTEST_SKIP() << "no small file system: mounting a 512 KiB tmpfs failed (" << std::strerror(errno)
                 << "); it takes root";
  }
  struct Unmount {
    std::string at;
    ~Unmount() { ::umount2(at.c_str(), MNT_DETACH); }
  } unmount{small};
  // 96 KiB stay free: room for the headers, not for a 256 × 256 frame nor a second of track.
  dir.Write("small/filler", std::string(416 * 1024, 'f'));
  dir.Write("small/movie.avi", "last good movie");
  dir.Write("small/movie.wav", "last track");
  dir.Write("small/movie.xml", "<talmora width=\"256\" height=\"256\" length=\"2\"><sound src=\"" + (dir / "tone.wav") +
                                   "\"/></talmora>");
  const auto result = testing::RunTalmora({"--codec", "DIB ", "movie.xml"}, small);
  const std::string full = " : No space left on device\n";
  EXPECT_NE(result.out.find("avi作成開始\nエラー : サーフィス→ビットマップへの変換に失敗しました\n書き込みエラー : " +
                            small + "/movie.avi" + full),
            std::string::npos) << result.out;
  EXPECT_NE(result.out.find("出力先サウンドファイルへの書き込みに失敗しました : " + small + "/movie.wav\n書き込みエラー : " +
                            small + "/movie.wav" + full),
            std::string::npos) << result.out;
  EXPECT_TRUE(testing::ReadFile(small + "/movie.avi") == "last good movie");
  EXPECT_TRUE(testing::ReadFile(small + "/movie.wav") == "last track");
  // Nor does a frame picture of noise, some 190 KiB however it is packed.
  const std::vector<int16_t> noise = test::Noise(2, 256 * 256);
  std::vector<uint32_t> pixels(256 * 256);
  std::memcpy(pixels.data(), noise.data(), pixels.size() * 4);
  for (uint32_t& pixel : pixels) pixel |= 0xFF000000u;
  WritePam(dir / "noise.pam", 256, 256, pixels);
  dir.Write("small/movie.png", "last picture");
  dir.Write("small/movie.xml", R"(<talmora width="256" height="256" length="1"><image src=")" + (dir / "noise.pam") +
                                   R"(" width="256" height="256" time="0" duration="1"/></talmora>)");
  const auto picture = testing::RunTalmora({"--frame", "0", "movie.xml"}, small);
  EXPECT_NE(picture.out.find("エラー : PNG画像の書き出しに失敗しました : " + small + "/movie.png (No space left on device)\n"),
            std::string::npos) << picture.out;
  EXPECT_EQ(picture.status, 1);
  EXPECT_TRUE(testing::ReadFile(small + "/movie.png") == "last picture");
  EXPECT_EQ(Names(small), (std::set<std::string>{"movie.xml", "filler", "movie.avi", "movie.wav", "movie.png"}));
}

}  // namespace
}  // namespace talmora
