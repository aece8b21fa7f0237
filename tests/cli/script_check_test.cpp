// `--check` as a user runs it: one line per problem with file, line and element, the count, the
// status, and not one file written.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <set>

#include "render/picture_files.h"
#include "sound/sound_files.h"
#include "support/cli_harness.h"

namespace talmora {
namespace {

using testing::RunTalmora;
using testing::TempDir;

std::set<std::string> Listing(const std::string& folder) {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
    names.insert(entry.path().string());
  }
  return names;
}

// Runs `--check` on `name` in `dir` and checks that nothing was added to the folder.
testing::RunResult Check(const TempDir& dir, const std::string& name) {
  const auto before = Listing(dir.path());
  auto result = RunTalmora({"--check", name}, dir.path());
  EXPECT_EQ(Listing(dir.path()), before) << "--check wrote a file";
  return result;
}

TEST(ScriptCheck, EveryProblemOnItsLine) {
  TempDir dir;
  dir.Write("art/broken.png", "no picture");
  WritePam(dir / "art/pic.pam", 4, 4, std::vector<uint32_t>(16, 0xFF102030));
  dir.Write("art/broken.wav", "no sound");
  dir.Write("art/broken.svg", "<svg");
  ASSERT_TRUE(testing::Ffmpeg("-f lavfi -i testsrc=s=8x8:r=10:d=0.3 '" + dir / "art/clip.gif" + "'"));
  dir.Write("art/mono.wav", test::Wav(44100, 1, 16, test::Noise(1, 4410)));
  dir.Write("art/one.wav", test::Wav(44100, 2, 16, test::Noise(2, 4410)));
  dir.Write("art/lyrics.srt", "1\n00:00:01,000 --> 00:00:02,000\nfine\n\n2\n00:00:03,000 --> 00:00:02,000\nback\n\n"
                              "3\n00:00:01,010 --> 00:00:01,020\nblink\n");
  dir.Write("sub/movie.xml", R"(<talmora length="4s" fps="x" r="255" widht="9" loudness="16">
  <template name="cap" fontsize="big" align="centre" x="0px"/>
  <txt sentence="a"/>
  <text template="cap" fontsise="60" time="0" duration="1" italic="maybe" valign="center"/>
  <text time="last" duration="1" r="#ff0000" g="255" aend="2" face="No Such Face 1234"/>
  <image src="../art/pic.pam" tiem="0" duration="2" x="1O0"/>
  <image src="../art/pic.pam" time="3" timeend="1"/>
  <image src="../art/pic.pam" time="4" duration="1s" left="10" right="5"/>
  <image src="../art/none.png" time="0" duration="1"/>
  <image src="../art/broken.png" time="0" duration="1" template="capp"/>
  <image time="1" duration="1"/>
  <sound src="../art/broken.wav" time="0"/>
  <sound src="../art/mono.wav" clipstart="-1" fadeout="x" ease="slow"/>
  <sound src="../art/gone.wav" time="5"/>
  <text template="cap" time="1" duration="1"/>
  <sound src="../art/one.wav" time="1" duration="-2"/>
  <image src="../art/clip.gif" time="0" cliploop="yes" clipspeed="0"/>
  <image src="../art/clip.gif" time="0" clipstart="9"/>
  <rect time="0" duration="1" fill="#12" strokecolour="#fff" radius="2"/>
  <ellipse time="0" duration="1" radius="3"/>
  <text time="0" duration="1" sentence="s" box="maybe" boxcolor="red"/>
  <image src="../art/broken.svg" time="0" duration="1"/>
  <captions src="../art/lyrics.srt" sentence="x" highlight="words" highlightcolor="red"/>
  <captions src="../art/none.srt"/>
  <image src="../art/pic.pam" time="now-9" duration="2" fadein="-1">
    <key at="1" z="2" witdh="3" x="a"/>
    <key at="3"/>
    <key at="1" y="5"/><key at="1" y="6"/>
  </image>
  <text time="now+x"/>
  <sound src="../art/one.wav" time="0" duration="1"><key at="0.5" volume="x" x="1"/><key at="2" pan="1"/></sound>
  <key at="0"/>
</talmora>
)");
  const std::string kColour = " は色の範囲を超えています: 色の成分は0から1です (255 なら 1 のつもりでは?)";
  const std::string kTemplate = " (2行目のテンプレートから)";
  const std::vector<std::string> expected = {
      "1: <talmora>: 属性 widht は読まれません (width の誤りでは?)",
      "1: <talmora>: 属性 fps の値 [x] は読めません (整数が必要です)",
      "1: <talmora>: 属性 length の値 [4s] は 4 と読まれます (続く [s] は無視されます)",
      "1: <talmora>: 属性 loudness の値 16 は -70 から 0 (LUFS) の外です",
      "1: <talmora>: 属性 r の値 255" + kColour,
      "3: <txt>: 不明な要素です (text の誤りでは?)",
      "4: <text>: 属性 fontsise は読まれません (fontsize の誤りでは?)",
      "4: <text>: 属性 align の値 [centre] は読めません (left/center/right のいずれかが必要です)" + kTemplate,
      "4: <text>: 属性 valign の値 [center] は読めません (top/middle/bottom のいずれかが必要です)",
      "4: <text>: 属性 x の値 [0px] は 0 と読まれます (続く [px] は無視されます)" + kTemplate,
      "4: <text>: 属性 fontsize の値 [big] は読めません (整数が必要です)" + kTemplate,
      "4: <text>: 属性 italic の値 [maybe] は読めません (yes/no/true/false/1/0 のいずれかが必要です)",
      "5: <text>: 属性 r の値 [#ff0000] は読めません (数値が必要です)",
      "5: <text>: 属性 g の値 255" + kColour,
      "5: <text>: 属性 aend の値 2" + kColour,
      "5: <text>: 書体 No Such Face 1234 はインストールされていません: IPAGothic で描きます",
      "6: <image>: 属性 tiem は読まれません (time の誤りでは?)",
      "6: <image>: 属性 x の値 [1O0] は 1 と読まれます (続く [O0] は無視されます)",
      "6: <image>: time がありません: 表示されません",
      "7: <image>: 終了時刻 1 秒が開始時刻 3 秒より前です: 表示されません",
      // A number with text after it is read as far as it goes, and the window with it.
      "8: <image>: 属性 duration の値 [1s] は 1 と読まれます (続く [s] は無視されます)",
      "8: <image>: 幅が負の値です (right で -5)",
      "8: <image>: 開始時刻 4 秒が動画の長さ 4 秒以降です: 表示されません",
      "9: <image>: 画像ファイル ../art/none.png が見つかりません",
      "10: <image>: テンプレート capp はありません (cap の誤りでは?)",
      "10: <image>: 画像ファイル ../art/broken.png を画像として読み込めません (壊れているか途中で切れているか、辺が16384を超えています)",
      "11: <image>: src がありません: 表示されません",
      "12: <sound>: 音声ファイル ../art/broken.wav を読み込めません (Invalid data found when processing input)",
      "13: <sound>: 属性 ease の値 [slow] は読めません (linear/in/out/inout/cubic-bezier(x1, y1, x2, y2) のいずれかが必要です)",
      "13: <sound>: 属性 clipstart の値 [-1] は読めません (0以上の数値が必要です)",
      "13: <sound>: 属性 fadeout の値 [x] は読めません (数値が必要です)",
      "14: <sound>: 開始時刻 5 秒が動画の長さ 4 秒以降です: 鳴りません",
      "14: <sound>: 音声ファイル ../art/gone.wav が見つかりません",
      "15: <text>: 属性 align の値 [centre] は読めません (left/center/right のいずれかが必要です)" + kTemplate,
      "15: <text>: 属性 x の値 [0px] は 0 と読まれます (続く [px] は無視されます)" + kTemplate,
      "15: <text>: 属性 fontsize の値 [big] は読めません (整数が必要です)" + kTemplate,
      "16: <sound>: 終了時刻 -1 秒が開始時刻 1 秒より前です: 鳴りません",
      // A moving picture is read as one and has a window of its own, unless it starts after its end.
      "17: <image>: 属性 clipspeed の値 [0] は読めません (0より大きい数値が必要です)",
      "18: <image>: 表示時間が0秒です (duration も timeend もありません): 表示されません",
      "19: <rect>: 属性 strokecolour は読まれません (strokecolor の誤りでは?)",
      "19: <rect>: 属性 fill の値 [#12] は読めません (#rgb、#rrggbb、#rrggbbaa か 0から1の数値4つが必要です)",
      "20: <ellipse>: 属性 radius は読まれません",
      "21: <text>: 属性 box の値 [maybe] は読めません (no/yes/block/true/false/1/0 のいずれかが必要です)",
      "21: <text>: 属性 boxcolor の値 [red] は読めません (#rgb、#rrggbb、#rrggbbaa か 0から1の数値4つが必要です)",
      "22: <image>: 画像ファイル ../art/broken.svg を画像として読み込めません (SVG として読めません)",
      "23: <captions>: 属性 highlight の値 [words] は読めません (none/word のいずれかが必要です)",
      "23: <captions>: 属性 highlightcolor の値 [red] は読めません (#rgb、#rrggbb、#rrggbbaa か 0から1の数値4つが必要です)",
      "23: <captions>: 属性 sentence は使われません: 文は字幕ファイルから取ります",
      "23: <captions>: ../art/lyrics.srt:6: 終了時刻 00:00:02,000 が開始時刻 00:00:03,000 より前です",
      "23: <captions>: ../art/lyrics.srt:10: 字幕が短すぎてどのフレームにも表示されません (1.01 秒から 1.02 秒)",
      "24: <captions>: 字幕ファイル ../art/none.srt が見つかりません",
      // Keys' problems at their own lines.
      "25: <image>: time の値 [now-9] は -7 秒になるため 0 秒とします",
      "25: <image>: 属性 fadein の値 [-1] は読めません (0以上の数値が必要です)",
      "26: <key>: 属性 witdh は key では読まれません (width の誤りでは?)",
      "26: <key>: 属性 x の値 [a] は読めません (数値が必要です)",
      "26: <key>: 属性 z は key では動かせません: 無視します",
      "27: <key>: at 3 秒は表示時間 (0 から 2 秒) の外です: この key は無視します",
      "28: <key>: at 1 秒の y が2度あります: 後の値を使います",
      "30: <text>: 属性 time の値 [now+x] は読めません (数値が必要です)",
      "31: <key>: 属性 volume の値 [x] は読めません (数値が必要です)",
      "31: <key>: 属性 x は key では動かせません: 無視します",
      "31: <key>: at 2 秒は表示時間 (0 から 1 秒) の外です: この key は無視します",
      "32: <key>: key は image、text、rect、ellipse、sound の中に置きます: 読まれません",
  };
  std::string want;
  for (const std::string& line : expected) want += "sub/movie.xml:" + line + "\n";
  want += "チェック完了 : 問題 " + std::to_string(expected.size()) + " 件\n";
  const auto result = Check(dir, "sub/movie.xml");
  EXPECT_EQ(result.out, want);
  EXPECT_EQ(result.status, 2);
}

TEST(ScriptCheck, StatusesAndTheCleanScript) {
  TempDir dir;
  dir.Write("art/one.wav", test::Wav(44100, 2, 16, test::Noise(2, 4410)));
  WritePam(dir / "art/pic.pam", 4, 4, std::vector<uint32_t>(16, 0xFF102030));
  dir.Write("art/pic.svg", R"(<svg xmlns="http://www.w3.org/2000/svg" width="4" height="4"/>)");
  dir.Write("art/a.vtt", "WEBVTT\n\n00:00.500 --> 00:01.000\nA <00:00.750>cue\n");
  const std::string kClean = "チェック完了 : 問題 0 件\n";
  const struct {
    const char* script;
    std::string out;  // the whole output, or its start when it ends in "..."
    int status;
  } cases[] = {
      {R"(<talmora xmlns:x="urn:x" loudness="-16"><!-- a comment -->
         <template name="t" x="1" sentence="s" src="art/pic.pam"/>
         <image template="t" time="0" duration="1" r="1" a="0.5" left="1" right="3"/>
         <text template="t" time="now" duration="1" face="ＭＳ ゴシック" align="right" italic="1"/>
         <sound src="art/one.wav" time="last" clipstart="0.05" fadein="0.01" fadeout="0.02" ease="out"/>
         <rect time="0" duration="1" fill="#ffffff80" stroke="2" strokeend="4" strokecolor="0 0 0 1" radius="3"/>
         <ellipse time="0" duration="1" fill="none" stroke="1"/><image src="art/pic.svg" time="0" duration="1"/>
         <text time="0" duration="1" sentence="s" outline="2" outlinecolor="#000" shadowx="2" shadowy="2"
               shadowblur="3" shadowcolor="#00000088" box="block" boxcolor="#000000aa" boxpadding="4" boxradius="4"/>
         <captions template="t" src="art/a.vtt" time="now" highlight="word" highlightcolor="1 1 0 0.5" outline="2" box="yes"/></talmora>)",
       kClean, 0},
      {"<talmora><image/>", "エラー : XMLのパースに失敗しました\n...", 1},
      {"<movie/>", "エラー : talmoraタグが見つかりませんでした\n", 1},
      {"<talmora><text/></talmora>", "movie.xml:1: <text>: time がありません: 表示されません\n...", 2},
  };
  for (const auto& c : cases) {
    dir.Write("movie.xml", c.script);
    const auto result = Check(dir, "movie.xml");
    if (c.out.ends_with("...")) {
      EXPECT_TRUE(result.out.starts_with(c.out.substr(0, c.out.size() - 3))) << result.out;
    } else {
      EXPECT_EQ(result.out, c.out);
    }
    EXPECT_EQ(result.status, c.status) << c.script;
  }
  // Command-line errors keep their status; the check does not start.
  EXPECT_EQ(RunTalmora({"--check", "none.xml"}, dir.path()).status, 255);
}

}  // namespace
}  // namespace talmora
