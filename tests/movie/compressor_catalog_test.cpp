#include "platform/movie/compressor_catalog.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>

#include "platform/movie/frame_compressor.h"

namespace talmora {
namespace {

std::set<std::string> Codes(const std::vector<const CompressorInfo*>& list) {
  std::set<std::string> codes;
  for (const CompressorInfo* info : list) codes.insert(FourccText(info->fourcc));
  return codes;
}

BitmapInfoHeader FrameFormat(int width, int height) {
  BitmapInfoHeader format;
  format.biWidth = width;
  format.biHeight = height;
  format.biSizeImage = static_cast<uint32_t>(width * height * 4);
  return format;
}

TEST(CompressorCatalog, OffersTheRequiredCompressorsUncompressedFirst) {
  const auto present = PresentCompressors();
  ASSERT_FALSE(present.empty());
  EXPECT_EQ(FourccText(present.front()->fourcc), "DIB ");
  const auto codes = Codes(present);
  for (const char* code : {"DIB ", "MJPG", "H264", "FMP4", "FFV1", "HFYU", "ULRA", "MPNG"}) {
    EXPECT_TRUE(codes.count(code)) << code;
  }
  std::set<uint32_t> unique;
  for (const CompressorInfo& info : AllCompressors()) {
    EXPECT_TRUE(unique.insert(info.fourcc).second) << FourccText(info.fourcc);
    EXPECT_FALSE(info.name.empty());
  }
}

TEST(CompressorCatalog, CodesAreLookedUpAsUsersTypeThem) {
  EXPECT_EQ(LookUpCompressor("DIB "), FindCompressor(MakeFourcc("DIB ")));
  EXPECT_EQ(LookUpCompressor("dib"), FindCompressor(MakeFourcc("DIB ")));
  EXPECT_EQ(LookUpCompressor("h264"), FindCompressor(MakeFourcc("H264")));
  EXPECT_EQ(LookUpCompressor("MjPg"), FindCompressor(MakeFourcc("MJPG")));
  EXPECT_EQ(LookUpCompressor(""), nullptr);
  EXPECT_EQ(LookUpCompressor("   "), nullptr);
  EXPECT_EQ(LookUpCompressor("DI"), nullptr);
  EXPECT_EQ(LookUpCompressor("MJPGX"), nullptr);
  EXPECT_EQ(LookUpCompressor("XVID"), nullptr);
  EXPECT_EQ(FindCompressor(0), nullptr);
}

TEST(CompressorCatalog, FourccTextKeepsCodesReadable) {
  EXPECT_EQ(FourccText(MakeFourcc("DIB")), "DIB ");
  EXPECT_EQ(FourccText(MakeFourcc("H264")), "H264");
  EXPECT_EQ(FourccText(0), "????");
  EXPECT_EQ(MakeFourcc("vids"), 0x73646976u);
}

TEST(OfferedCompressors, AreThoseThatAcceptTheFrame) {
  const auto even = Codes(OfferedCompressors(FrameFormat(64, 48), 30));
  EXPECT_EQ(even, Codes(PresentCompressors()));

  // 4:2:0 H.264 needs even sides; the lossless ones take any size.
  const auto odd = Codes(OfferedCompressors(FrameFormat(33, 17), 30));
  EXPECT_FALSE(odd.count("H264"));
  for (const char* code : {"DIB ", "FFV1", "HFYU", "ULRA", "MPNG"}) EXPECT_TRUE(odd.count(code)) << code;

  // MPEG-4 Part 2 cannot state a time base finer than 1/65535.
  EXPECT_FALSE(Codes(OfferedCompressors(FrameFormat(64, 48), 100000)).count("FMP4"));
}

TEST(OfferedCompressors, NoneForFramesThatAreNotPlain32BitBitmaps) {
  BitmapInfoHeader top_down = FrameFormat(64, 48);
  top_down.biHeight = -48;
  EXPECT_TRUE(OfferedCompressors(top_down, 30).empty());
  BitmapInfoHeader rgb24 = FrameFormat(64, 48);
  rgb24.biBitCount = 24;
  EXPECT_TRUE(OfferedCompressors(rgb24, 30).empty());
}

}  // namespace
}  // namespace talmora
