#include "platform/movie/compressor_menu.h"

#include <gtest/gtest.h>

#include <sstream>

#include "support/capture_stdout.h"

namespace talmora {
namespace {

struct MenuRun {
  bool accepted = false;
  CompressorSettings settings;
  std::string out;
};

MenuRun RunMenu(const std::string& typed, CompressorSettings start = {},
                std::initializer_list<const char*> codes = {"DIB ", "MJPG", "H264", "FFV1"}) {
  std::vector<const CompressorInfo*> offered;
  for (const char* code : codes) offered.push_back(FindCompressor(MakeFourcc(code)));
  MenuRun run;
  run.settings = start;
  std::istringstream in(typed);
  testing::CaptureStdout capture;
  run.accepted = ChooseCompressor(offered, in, run.settings);
  run.out = capture.Text();
  return run;
}

size_t Count(const std::string& text, const std::string& part) {
  size_t count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

TEST(CompressorMenu, ListsTheOfferedOnesAndEnterOrEndOfInputAcceptsThePreselection) {
  for (const std::string typed : {"\n", "", "   \r\n"}) {
    const MenuRun run = RunMenu(typed);
    EXPECT_TRUE(run.accepted) << "[" << typed << "]";
    EXPECT_EQ(FourccText(run.settings.fccHandler), "DIB ");
    EXPECT_NE(run.out.find("  1  DIB   Full Frames (Uncompressed)\n  2  MJPG  Motion JPEG\n"), std::string::npos);
    EXPECT_EQ(run.out.find("FMP4"), std::string::npos);  // not offered, not shown
    EXPECT_EQ(run.out.find("品質"), std::string::npos);   // nothing to set for uncompressed frames
  }
  // It opens on the compressor already chosen, or on the first offered when that one is not.
  CompressorSettings start;
  start.fccHandler = MakeFourcc("FFV1");
  start.lKey = 12;
  MenuRun run = RunMenu("", start);
  EXPECT_EQ(FourccText(run.settings.fccHandler), "FFV1");
  EXPECT_EQ(run.settings.lKey, 12);
  EXPECT_NE(run.out.find("Enter : FFV1"), std::string::npos) << run.out;
  start.fccHandler = MakeFourcc("FMP4");
  EXPECT_EQ(FourccText(RunMenu("", start).settings.fccHandler), "DIB ");
  EXPECT_FALSE(RunMenu("\n", {}, {}).accepted);  // nothing offered, nothing chosen
}

TEST(CompressorMenu, ChoosesByNumberOrCodeThenAsksOnlyTheSettingsItHonours) {
  const MenuRun by_number = RunMenu("2\r\n7000\n250\n");
  EXPECT_TRUE(by_number.accepted);
  EXPECT_EQ(FourccText(by_number.settings.fccHandler), "MJPG");
  EXPECT_EQ(by_number.settings.lQ, 7000);
  EXPECT_EQ(by_number.settings.lDataRate, 250);
  EXPECT_EQ(by_number.out.find("キーフレーム"), std::string::npos);  // only key frames in Motion JPEG

  const MenuRun by_code = RunMenu("h264\n\n30\n");
  EXPECT_EQ(FourccText(by_code.settings.fccHandler), "H264");
  EXPECT_EQ(by_code.settings.lQ, -1);
  EXPECT_EQ(by_code.settings.lKey, 30);
  EXPECT_EQ(by_code.settings.lDataRate, 0);
  EXPECT_NE(by_code.out.find("圧縮形式 : H264 H.264 (x264)"), std::string::npos) << by_code.out;
}

TEST(CompressorMenu, AsksAgainUntilTheAnswerIsValid) {
  const MenuRun run = RunMenu("0\n5\nXVID\nmjpg\n10001\n-2\nabc\n12x\n9000\n");
  EXPECT_TRUE(run.accepted);
  EXPECT_EQ(FourccText(run.settings.fccHandler), "MJPG");
  EXPECT_EQ(run.settings.lQ, 9000);
  EXPECT_EQ(Count(run.out, "入力が正しくありません"), 7u) << run.out;
  EXPECT_NE(run.out.find("入力が正しくありません : [XVID]"), std::string::npos);
  EXPECT_EQ(RunMenu("3\n\n99999999999\n-1\n").settings.lKey, 0);  // past 32 bits, then negative
}

TEST(CompressorMenu, QCancelsAtAnyQuestionAndLeavesTheSettingsAlone) {
  CompressorSettings start;
  start.lQ = 4000;
  for (const std::string typed : {"q\n", "Q\n", "3\nq\n", "3\n8000\n\nq\n"}) {
    const MenuRun run = RunMenu(typed, start);
    EXPECT_FALSE(run.accepted) << typed;
    EXPECT_EQ(FourccText(run.settings.fccHandler), "DIB ");
    EXPECT_EQ(run.settings.lQ, 4000);
  }
}

}  // namespace
}  // namespace talmora
