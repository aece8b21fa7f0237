#include "platform/movie/compressor_catalog.h"

#include <gtest/gtest.h>

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

std::set<std::string> Offered(int width, int height, int fps) {
  BitmapInfoHeader format;
  format.biWidth = width;
  format.biHeight = height;
  return Codes(OfferedCompressors(format, fps));
}

TEST(CompressorCatalog, HasTheRequiredCompressorsUncompressedFirst) {
  const auto present = PresentCompressors();
  ASSERT_FALSE(present.empty());
  EXPECT_EQ(FourccText(present.front()->fourcc), "DIB ");
  const auto codes = Codes(present);
  for (const char* code : {"DIB ", "MJPG", "H264", "FMP4", "FFV1", "HFYU", "ULRA", "MPNG"}) {
    EXPECT_TRUE(codes.count(code)) << code;
  }
}

TEST(CompressorCatalog, CodesAreLookedUpAsUsersTypeThem) {
  EXPECT_EQ(LookUpCompressor("dib"), FindCompressor(MakeFourcc("DIB ")));
  EXPECT_EQ(LookUpCompressor("DIB "), FindCompressor(MakeFourcc("DIB ")));
  EXPECT_EQ(LookUpCompressor("MjPg"), FindCompressor(MakeFourcc("MJPG")));
  for (const char* unknown : {"", "   ", "DI", "MJPGX", "XVID"}) EXPECT_EQ(LookUpCompressor(unknown), nullptr) << unknown;
}

TEST(OfferedCompressors, AreThoseThatAcceptTheFrame) {
  EXPECT_EQ(Offered(64, 48, 30), Codes(PresentCompressors()));
  // 4:2:0 H.264 needs even sides; the lossless ones take any size.
  const auto odd = Offered(33, 17, 30);
  EXPECT_FALSE(odd.count("H264"));
  for (const char* code : {"DIB ", "FFV1", "HFYU", "ULRA", "MPNG"}) EXPECT_TRUE(odd.count(code)) << code;
  // MPEG-4 Visual cannot state a time base finer than 1/65535.
  EXPECT_FALSE(Offered(64, 48, 100000).count("FMP4"));
  EXPECT_TRUE(Offered(64, -48, 30).empty());  // top-down frames are no bitmaps to offer
}

}  // namespace
}  // namespace talmora
