#include "platform/movie/compressor_catalog.h"

#include <algorithm>
#include <array>
#include <cctype>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/cpu.h>
#include <libavutil/opt.h>
}

namespace talmora {

namespace {

int64_t BitsPerSecond(const CompressorSettings& s) { return int64_t{s.data_rate} * 1024 * 8; }

int Quality(const CompressorSettings& s, int fallback) {
  return s.quality < 0 ? fallback : std::min(s.quality, CompressorSettings::kMaxQuality);
}

void KeyFrames(AVCodecContext& c, const CompressorSettings& s) {
  if (s.keyframe > 0) c.gop_size = s.keyframe;
}

// MPEG-style encoders: a data rate, or else a fixed quantiser from 31 (quality 0) to 2 (quality 10000).
// The default, 3, keeps pictures close to the source.
void ConfigureQuantizer(AVCodecContext& c, const CompressorSettings& s) {
  KeyFrames(c, s);
  if (s.data_rate > 0) {
    c.bit_rate = BitsPerSecond(s);
    return;
  }
  const int quality = Quality(s, 9500);
  const int quantizer = 2 + (29 * (CompressorSettings::kMaxQuality - quality) + 5000) / 10000;
  c.flags |= AV_CODEC_FLAG_QSCALE;
  c.global_quality = FF_QP2LAMBDA * quantizer;
}

void ConfigureMotionJpeg(AVCodecContext& c, const CompressorSettings& s) {
  ConfigureQuantizer(c, s);
  c.color_range = AVCOL_RANGE_JPEG;
}

// x264 without B-frames, so that every packet is one frame in order. quality maps onto the
// constant rate factor, 51 (quality 0) to 0 (quality 10000); the default is x264's own 23.
void ConfigureX264(AVCodecContext& c, const CompressorSettings& s) {
  KeyFrames(c, s);
  c.max_b_frames = 0;
  c.colorspace = AVCOL_SPC_SMPTE170M;  // the BT.601 matrix the frames are converted with, stated for players
  c.color_range = AVCOL_RANGE_MPEG;
  av_opt_set(c.priv_data, "preset", "veryfast", 0);
  if (s.data_rate > 0) {
    c.bit_rate = BitsPerSecond(s);
  } else {
    const double crf = s.quality < 0 ? 23.0 : 51.0 * (CompressorSettings::kMaxQuality - Quality(s, 0)) / 10000;
    av_opt_set_double(c.priv_data, "crf", crf, 0);
  }
}

void ConfigureIntraOnly(AVCodecContext&, const CompressorSettings&) {}

int Cores() { return std::clamp(av_cpu_count(), 1, 64); }

// FFV1 version 3 cuts each frame into slices that encode (and decode) on threads of their own,
// each with a checksum. Two slices a core keep every core busy when some slices are harder than
// others; FFV1 lays slices out as rows × columns with rows <= columns < 2 × rows, so the count is
// the smallest such grid from there (4 on 2 cores, 9 on 4, 16 on 8), of slices no smaller than
// kMinSliceSide: libavcodec's version 3 does not give back the pixels of slices a pixel or two
// wide. Frames too small for a 2 × 2 grid stay in the version without slices. A frame too large
// for the grid's slices falls back to a count libavcodec picks.
void ConfigureFfv1(AVCodecContext& c, const CompressorSettings& s) {
  KeyFrames(c, s);
  constexpr int kMinSliceSide = 16;
  const int most_rows = c.height / kMinSliceSide, most_columns = c.width / kMinSliceSide;
  const int wanted = 2 * Cores();
  int slices = 0;
  for (int rows = 2; rows <= most_rows && slices < wanted; ++rows) {
    for (int columns = rows; columns < 2 * rows && columns <= most_columns && slices < wanted; ++columns) {
      slices = rows * columns;
    }
  }
  if (slices == 0) return;
  c.level = 3;
  c.slices = slices;
  av_opt_set_int(c.priv_data, "slicecrc", 1, 0);
}

// Ut Video and MagicYUV encode each frame on a thread of their own; their slices are what lets
// a player decode one frame on several cores. One slice a core at least, and for Ut Video no
// fewer than its own default of one per 120 rows; never more slices than rows.
void ConfigureSliced(AVCodecContext& c, const CompressorSettings&) {
  c.slices = std::clamp(std::max(Cores(), c.height / 120), 1, std::min(c.height, 256));
}

constexpr unsigned kLossySettings = kQualitySetting | kKeyFrameSetting | kDataRateSetting;

const std::array<CompressorInfo, 10> kCompressors = {{
    {MakeFourcc("DIB "), "Full Frames (Uncompressed)", nullptr, AV_PIX_FMT_BGRA, 0, false, ConfigureIntraOnly},
    {MakeFourcc("MJPG"), "Motion JPEG", "mjpeg", AV_PIX_FMT_YUVJ420P, kQualitySetting | kDataRateSetting, false,
     ConfigureMotionJpeg},
    // libx264 refuses odd sides in 4:2:0 and leaks on that refusal, so it is not asked.
    {MakeFourcc("H264"), "H.264 (x264)", "libx264", AV_PIX_FMT_YUV420P, kLossySettings, true, ConfigureX264},
    {MakeFourcc("FMP4"), "MPEG-4 Visual", "mpeg4", AV_PIX_FMT_YUV420P, kLossySettings, false, ConfigureQuantizer},
    {MakeFourcc("FFV1"), "FFV1 (lossless)", "ffv1", AV_PIX_FMT_BGRA, kKeyFrameSetting, false, ConfigureFfv1},
    {MakeFourcc("HFYU"), "HuffYUV (lossless)", "huffyuv", AV_PIX_FMT_BGRA, 0, false, ConfigureIntraOnly},
    {MakeFourcc("FFVH"), "FFmpeg HuffYUV (lossless)", "ffvhuff", AV_PIX_FMT_BGRA, 0, false, ConfigureIntraOnly},
    {MakeFourcc("ULRA"), "Ut Video RGBA (lossless)", "utvideo", AV_PIX_FMT_GBRAP, 0, false, ConfigureSliced},
    {MakeFourcc("MAGY"), "MagicYUV RGBA (lossless)", "magicyuv", AV_PIX_FMT_GBRAP, 0, false, ConfigureSliced},
    {MakeFourcc("MPNG"), "PNG (lossless)", "png", AV_PIX_FMT_RGBA, 0, false, ConfigureIntraOnly},
}};

}  // namespace

int32_t ExactRestartSpacing(const CompressorInfo& info, const CompressorSettings& settings) {
  // FFV1 carries its coder's state from a key frame to the frames after it, and puts a key
  // frame on every multiple of the interval it counts from its first frame: libavcodec's
  // default of 12 unless the settings give one.
  if (info.fourcc != MakeFourcc("FFV1")) return 1;
  constexpr int32_t kDefaultInterval = 12;
  return settings.keyframe > 0 ? settings.keyframe : kDefaultInterval;
}

bool PredictsFrames(const CompressorInfo& info) {
  return info.fourcc == MakeFourcc("H264") || info.fourcc == MakeFourcc("FMP4");
}

std::span<const CompressorInfo> AllCompressors() { return kCompressors; }

std::vector<const CompressorInfo*> PresentCompressors() {
  std::vector<const CompressorInfo*> present;
  for (const CompressorInfo& info : kCompressors) {
    if (!info.encoder || avcodec_find_encoder_by_name(info.encoder)) present.push_back(&info);
  }
  return present;
}

const CompressorInfo* FindCompressor(uint32_t fourcc) {
  for (const CompressorInfo& info : kCompressors) {
    if (info.fourcc == fourcc) return &info;
  }
  return nullptr;
}

const CompressorInfo* LookUpCompressor(std::string_view code) {
  while (!code.empty() && code.back() == ' ') code.remove_suffix(1);
  if (code.empty() || code.size() > 4) return nullptr;
  for (const CompressorInfo& info : kCompressors) {
    const std::string text = FourccText(info.fourcc);
    bool same = true;
    for (size_t i = 0; i < 4 && same; ++i) {
      const char typed = i < code.size() ? code[i] : ' ';
      same = std::toupper(static_cast<unsigned char>(typed)) == std::toupper(static_cast<unsigned char>(text[i]));
    }
    if (same) return &info;
  }
  return nullptr;
}

}  // namespace talmora
