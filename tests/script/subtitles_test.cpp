// Subtitle files as editors and speech-to-text tools write them: the cues read, and the problems
// with the file's own line numbers.

#include "script/subtitles.h"

#include <gtest/gtest.h>

namespace talmora {
namespace {

bool SameCues(const Subtitles& a, const Subtitles& b) {
  if (a.cues.size() != b.cues.size()) return false;
  for (size_t i = 0; i < a.cues.size(); ++i) {
    const SubtitleCue &p = a.cues[i], &q = b.cues[i];
    if (p.start != q.start || p.end != q.end || p.text != q.text || p.bold != q.bold || p.italic != q.italic ||
        p.timestamps.size() != q.timestamps.size()) {
      return false;
    }
  }
  return true;
}

TEST(Subtitles, SrtAndWebVttOfTheSameCuesReadAlike) {
  const std::string srt =
      "\xEF\xBB\xBF"
      "1\r\n00:00:01,100 --> 00:00:02,000 X1:10 X2:20\r\n<b>Hello</b> &amp; <font color=\"red\">bye</font>\r\n"
      "second line  \r\n\r\n\r\n"
      "2\r\n00:00:02,000 --> 00:00:02,010\r\n{\\an8}<i>short</i> &lt;3\r\n\r\n"
      "3\n100:00:00,000 --> 100:00:01,000\nlate\n";
  const std::string vtt =
      "WEBVTT - lyrics\nKind: captions\n\nNOTE a note\nthat runs on\n\nSTYLE\n::cue { color: red }\n\n"
      "intro\n00:01.100 --> 00:02.000 align:start line:90%\n<b>Hello</b> &amp; <c.red>bye</c>\nsecond line\n\n"
      "00:02.000 --> 00:02.010\n<v Singer><i>short</i> &lt;3\n\n"
      "100:00:00.000 --> 100:00:01.000\nlate";
  const Subtitles a = ParseSubtitles(srt), b = ParseSubtitles(vtt);
  EXPECT_TRUE(a.problems.empty()) << a.problems.front().message;
  EXPECT_TRUE(b.problems.empty()) << b.problems.front().message;
  ASSERT_EQ(a.cues.size(), 3u);
  EXPECT_TRUE(SameCues(a, b));
  // Whole milliseconds, so that a cue at 1.1 s starts on the very frame time 33 / 30 is.
  EXPECT_EQ(a.cues[0].start, 1.1);
  EXPECT_EQ(a.cues[0].text, "Hello & bye\nsecond line");
  EXPECT_TRUE(a.cues[0].bold && !a.cues[0].italic);
  EXPECT_EQ(a.cues[1].text, "short <3");
  EXPECT_TRUE(a.cues[1].italic && !a.cues[1].bold);
  EXPECT_EQ(a.cues[2].start, 360000.0);
  EXPECT_EQ(a.cues[1].line, 8);
  EXPECT_EQ(b.cues[1].line, 15);
}

TEST(Subtitles, ProblemsNameTheirLineAndLeaveOutOnlyTheirCue) {
  const struct {
    std::string content;
    std::vector<std::pair<int, std::string>> problems;  // line and the message's start
    size_t cues;
  } cases[] = {
      {"1\n00:00:01,000 --> 00:00:00,500\nback\n\n2\n00:00:01,000 --> 00:00:02,000\nfine\n",
       {{2, "終了時刻 00:00:00,500 が開始時刻 00:00:01,000 より前です"}}, 1},
      {"1\n00:00:1,000 --> 00:00:02,000\na\n\n2\n00:00:01,000 --> 00:61:02,000\nb\n\n3\n00:00:01,00 --> 00:00:02,000\nc\n",
       {{2, "時刻 [00:00:1,000] は読めません"}, {6, "時刻 [00:61:02,000] は読めません"}, {10, "時刻 [00:00:01,00] は読めません"}},
       0},
      {"1\n00:00:01,000 --> 00:00:02,000\n\n2\n00:00:02,000 --> 00:00:03,000\n<i> </i>\n",
       {{2, "字幕の文がありません"}, {5, "字幕の文がありません"}}, 0},
      {"1\nno times here\nwords\n\n00:00:01.000 --> 00:00:02.000\nfine\n", {{1, "時刻の行 (開始 --> 終了) がありません"}}, 1},
      {"WEBVTT\n\n00:01.000 --> 00:03.000\nA <00:00.500>B <00:02.000>C <00:01.500>D <00:04.000>E <00:0x.000>F\n",
       {{4, "文中の時刻 <00:00.500> が字幕の時間の外です"},
        {4, "文中の時刻 <00:01.500> が前の時刻より前です"},
        {4, "文中の時刻 <00:04.000> が字幕の時間の外です"},
        {4, "文中の時刻 <00:0x.000> は読めません"}},
       1},
      {"1\n00:00:01,000 --> 00:00:02,000\nfine\n\n2\n00:00:02,000 --> 00:00:03,000\n\x83\x6E\x83\x8D\x81\x5B\n",
       {{7, "UTF-8 ではない文字があります"}}, 0},
      {std::string("\xFF\xFE" "1\0\n\0", 6), {{1, "UTF-16 のファイルです"}}, 0},
      {"", {}, 0},
  };
  for (const auto& c : cases) {
    const Subtitles read = ParseSubtitles(c.content);
    EXPECT_EQ(read.cues.size(), c.cues) << c.content;
    ASSERT_EQ(read.problems.size(), c.problems.size()) << c.content;
    for (size_t i = 0; i < c.problems.size(); ++i) {
      EXPECT_EQ(read.problems[i].line, c.problems[i].first) << read.problems[i].message;
      EXPECT_TRUE(read.problems[i].message.starts_with(c.problems[i].second)) << read.problems[i].message;
    }
  }
}

TEST(Subtitles, WordsCountAsSungByTheirTimestampsOrEvenlyOverTheCue) {
  const Subtitles read = ParseSubtitles(
      "WEBVTT\n\n00:01.000 --> 00:03.000\nNever <00:01.500>gonna <00:02.250>give\n\n"
      "00:01.000 --> 00:03.000\n<00:01.000>one two\nthree  four\n\n"
      "00:05.000 --> 00:06.000\n  lone  \n");
  ASSERT_EQ(read.cues.size(), 3u);
  const auto marks = [](const std::vector<SungMark>& got) {
    std::vector<std::pair<double, size_t>> pairs;
    for (const SungMark& mark : got) pairs.emplace_back(mark.time, mark.byte);
    return pairs;
  };
  using Marks = std::vector<std::pair<double, size_t>>;
  // What precedes the first timestamp is being sung from the cue's start.
  EXPECT_EQ(marks(SungMarks(read.cues[0], false)), (Marks{{1.0, 6}, {1.5, 12}, {2.25, 16}}));
  EXPECT_EQ(marks(SungMarks(read.cues[0], true)), marks(SungMarks(read.cues[0], false)));
  // Evenly: a word's turn begins at its share of the cue, line feeds and runs of spaces part words.
  EXPECT_EQ(marks(SungMarks(read.cues[1], false)), (Marks{{1.0, 19}}));
  const SubtitleCue plain{0, 1.0, 3.0, "one two\nthree  four", false, false, {}};
  EXPECT_EQ(marks(SungMarks(plain, true)), (Marks{{1.0, 3}, {1.5, 7}, {2.0, 13}, {2.5, 19}}));
  EXPECT_TRUE(SungMarks(plain, false).empty());
  EXPECT_EQ(marks(SungMarks(read.cues[2], true)), (Marks{{5.0, 4}}));
}

}  // namespace
}  // namespace talmora
