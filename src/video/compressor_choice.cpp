#include "video/compressor_choice.h"

#include <algorithm>
#include <sstream>
#include <string>

#include "platform/console/reporter.h"
#include "video/compressor_menu.h"
#include "platform/movie/frame_compressor.h"

namespace talmora {

namespace {

const CompressorInfo* PresentCompressor(const std::string& code) {
  const CompressorInfo* info = LookUpCompressor(code);
  const auto present = PresentCompressors();
  return std::find(present.begin(), present.end(), info) != present.end() ? info : nullptr;
}

bool InRange(const std::optional<int32_t>& value, int32_t min, int32_t max, const char* option, Reporter& reporter) {
  if (!value || (*value >= min && *value <= max)) return true;
  reporter.Line(std::string("エラー : オプションの値が不正です - ") + option);
  return false;
}

}  // namespace

bool CheckMovieOptions(const MovieOptions& options, Reporter& reporter) {
  if (options.codec && !PresentCompressor(*options.codec)) {
    reporter.Line("エラー : 不明な圧縮形式です - " + *options.codec + " (--list-codecs で一覧を表示します)");
    return false;
  }
  constexpr int32_t kMax = INT32_MAX;
  return InRange(options.quality, -1, CompressorSettings::kMaxQuality, "--quality", reporter) &&
         InRange(options.keyframe, 0, kMax, "--keyframe", reporter) && InRange(options.datarate, 0, kMax, "--datarate", reporter);
}

void ListCompressors(Reporter& reporter) { PrintCompressors(PresentCompressors(), reporter); }

CompressorChoice ChooseMovieCompressor(const MovieOptions& options, int32_t width, int32_t height, int32_t fps,
                                       Reporter& reporter, CompressorSettings& settings) {
  settings = CompressorSettings{};
  settings.quality = options.quality.value_or(settings.quality);
  settings.keyframe = options.keyframe.value_or(settings.keyframe);
  settings.data_rate = options.datarate.value_or(settings.data_rate);

  if (options.codec) {
    const CompressorInfo* info = PresentCompressor(*options.codec);
    if (!info || !FrameCompressor::Accepts(*info, settings, width, height, fps)) {
      return CompressorChoice::kRefused;
    }
    settings.fourcc = info->fourcc;
    return CompressorChoice::kChosen;
  }
  std::istringstream no_input;
  std::istream& input = options.input ? *options.input : no_input;
  if (!ChooseCompressor(OfferedCompressors(width, height, fps), input, reporter, settings)) return CompressorChoice::kCancelled;
  return !options.admits || options.admits(settings.fourcc) ? CompressorChoice::kChosen : CompressorChoice::kUnfit;
}

}  // namespace talmora
