#include "audio/wav_header.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

namespace talmora {
namespace {

std::string Bytes(const WavHeaderBytes& header) { return std::string(header.begin(), header.end()); }

TEST(WavHeader, TenSecondsByteForByte) {
  // 441000 frames: data 1764000 bytes (0x1AEAA0), RIFF size 1764036 (0x1AEAC4).
  const std::string expected(
      "RIFF\xC4\xEA\x1A\x00" "WAVEfmt " "\x10\x00\x00\x00" "\x01\x00" "\x02\x00"
      "\x44\xAC\x00\x00" "\x10\xB1\x02\x00" "\x04\x00" "\x10\x00" "data\xA0\xEA\x1A\x00",
      44);
  EXPECT_EQ(Bytes(WavHeader(441000)), expected);
}

TEST(WavHeader, SizeFieldsAtTheEdges) {
  const WavHeaderBytes empty = WavHeader(0);
  EXPECT_EQ(Bytes(empty).substr(4, 4), std::string("\x24\x00\x00\x00", 4));  // 36
  EXPECT_EQ(Bytes(empty).substr(40, 4), std::string(4, '\0'));
  // The largest track still has a RIFF size that fits 32 bits, with nothing wrapped.
  const WavHeaderBytes largest = WavHeader(kMaxTrackFrames);
  EXPECT_EQ(Bytes(largest).substr(4, 4), std::string("\xFC\xFF\xFF\xFF", 4));
  EXPECT_EQ(Bytes(largest).substr(40, 4), std::string("\xD8\xFF\xFF\xFF", 4));
  EXPECT_EQ(DeclaredFrames(largest), kMaxTrackFrames);
}

TEST(WavHeader, DeclaredFramesAcceptsOnlyItsOwnHeaders) {
  EXPECT_EQ(DeclaredFrames(WavHeader(0)), 0);
  EXPECT_EQ(DeclaredFrames(WavHeader(441000)), 441000);
  WavHeaderBytes header = WavHeader(441000);
  header[22] = 1;  // mono
  EXPECT_EQ(DeclaredFrames(header), -1);
  header = WavHeader(441000);
  header[4] ^= 1;  // RIFF size disagrees with the data size
  EXPECT_EQ(DeclaredFrames(header), -1);
  header = WavHeader(441000);
  header[40] |= 2;  // a data size that is no whole number of frames
  EXPECT_EQ(DeclaredFrames(header), -1);
  EXPECT_EQ(DeclaredFrames(WavHeaderBytes{}), -1);
}

TEST(TrackFrames, TruncatesTowardZeroAndStaysDefined) {
  EXPECT_EQ(TrackFrames(10.0), 441000);
  EXPECT_EQ(TrackFrames(3.5), 154350);
  EXPECT_EQ(TrackFrames(0.00001), 0);
  EXPECT_EQ(TrackFrames(-0.00001), 0);
  EXPECT_EQ(TrackFrames(-1.00001), -44100);
  EXPECT_EQ(TrackFrames(std::nan("")), 0);
  const double inf = std::numeric_limits<double>::infinity();
  EXPECT_EQ(TrackFrames(inf), int64_t{1} << 62);
  EXPECT_EQ(TrackFrames(-inf), -(int64_t{1} << 62));
  EXPECT_EQ(TrackFrames(1e300), int64_t{1} << 62);
  EXPECT_EQ(TrackFrames(inf - inf), 0);
}

}  // namespace
}  // namespace talmora
