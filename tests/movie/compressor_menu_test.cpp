#include "platform/movie/compressor_menu.h"

#include <gtest/gtest.h>

#include <sstream>

#include "support/capture_stdout.h"

namespace talmora {
namespace {

std::vector<const CompressorInfo*> Offered(std::initializer_list<const char*> codes) {
  std::vector<const CompressorInfo*> offered;
  for (const char* code : codes) offered.push_back(FindCompressor(MakeFourcc(code)));
  return offered;
}

struct MenuRun {
  bool accepted = false;
  CompressorSettings settings;
  std::string out;
};

MenuRun RunMenu(const std::string& typed, CompressorSettings start = {},
            std::vector<const CompressorInfo*> offered = Offered({"DIB ", "MJPG", "H264", "FFV1"})) {
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

TEST(CompressorMenu, ListsEveryOfferedCompressorWithCodeAndName) {
  const MenuRun run = RunMenu("\n");
  EXPECT_NE(run.out.find("  1  DIB   Full Frames (Uncompressed)\n"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("  2  MJPG  Motion JPEG\n"), std::string::npos);
  EXPECT_NE(run.out.find("  4  FFV1  FFV1 (lossless)\n"), std::string::npos);
  EXPECT_EQ(run.out.find("FMP4"), std::string::npos);  // not offered, not shown
}

TEST(CompressorMenu, EnterOrEndOfInputAcceptsThePreselection) {
  for (const std::string typed : {"\n", "", "   \r\n"}) {
    const MenuRun run = RunMenu(typed);
    EXPECT_TRUE(run.accepted) << "[" << typed << "]";
    EXPECT_EQ(FourccText(run.settings.fccHandler), "DIB ");
    EXPECT_EQ(run.settings.lQ, -1);
  }
  // Uncompressed frames have no settings to ask for.
  const MenuRun run = RunMenu("\n");
  EXPECT_EQ(run.out.find("品質"), std::string::npos);
}

TEST(CompressorMenu, OpensOnTheCompressorAlreadyChosen) {
  CompressorSettings start;
  start.fccHandler = MakeFourcc("FFV1");
  start.lKey = 12;
  const MenuRun run = RunMenu("", start);
  EXPECT_TRUE(run.accepted);
  EXPECT_EQ(FourccText(run.settings.fccHandler), "FFV1");
  EXPECT_EQ(run.settings.lKey, 12);
  EXPECT_NE(run.out.find("Enter : FFV1"), std::string::npos) << run.out;

  // One that is not offered falls back to the first offered.
  start.fccHandler = MakeFourcc("FMP4");
  const MenuRun fallback = RunMenu("", start);
  EXPECT_EQ(FourccText(fallback.settings.fccHandler), "DIB ");
}

TEST(CompressorMenu, ChoosesByNumberOrCodeThenAsksOnlyTheSettingsItHonours) {
  const MenuRun by_number = RunMenu("2\r\n7000\n250\n");
  EXPECT_TRUE(by_number.accepted);
  EXPECT_EQ(FourccText(by_number.settings.fccHandler), "MJPG");
  EXPECT_EQ(by_number.settings.lQ, 7000);
  EXPECT_EQ(by_number.settings.lKey, 0);  // Motion JPEG has only key frames: not asked
  EXPECT_EQ(by_number.settings.lDataRate, 250);
  EXPECT_EQ(by_number.out.find("キーフレーム"), std::string::npos);

  const MenuRun by_code = RunMenu("h264\n\n30\n");
  EXPECT_TRUE(by_code.accepted);
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

  const MenuRun huge = RunMenu("3\n\n99999999999\n-1\n");
  EXPECT_EQ(huge.settings.lKey, 0);
  EXPECT_EQ(Count(huge.out, "入力が正しくありません"), 2u) << huge.out;
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

TEST(CompressorMenu, NothingOfferedIsNothingChosen) {
  CompressorSettings settings;
  std::istringstream in("\n");
  testing::CaptureStdout capture;
  EXPECT_FALSE(ChooseCompressor({}, in, settings));
}

}  // namespace
}  // namespace talmora
