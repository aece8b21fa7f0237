#include "video/movie_render.h"

#include <cstdio>
#include <string_view>

#include "platform/console/print_line.h"
#include "platform/movie/avi_file.h"
#include "platform/movie/bitmap_image.h"
#include "platform/render/canvas.h"
#include "platform/render/graphics_device.h"
#include "video/active_objects.h"
#include "video/compressor_choice.h"
#include "video/frame_timing.h"

namespace talmora {

namespace {

constexpr std::string_view kTextureFailed = "エラー : レンダリングターゲットテクスチャの作成に失敗しました";
constexpr std::string_view kRendererFailed = "エラー : サーフィルレンダリングインタフェースの作成に失敗しました";
constexpr std::string_view kConversionFailed = "エラー : サーフィス→ビットマップへの変換に失敗しました";
constexpr std::string_view kCancelled = "エラー : 圧縮形式の選択がキャンセルされました";
constexpr std::string_view kFileFailed = "エラー : aviファイルのオープンに失敗しました";
constexpr std::string_view kStreamFailed = "エラー : aviストリームの作成に失敗しました";
constexpr std::string_view kCompressorFailed = "エラー : avi圧縮ストリームの作成に失敗しました";
constexpr std::string_view kFormatFailed = "エラー : aviストリーム形式の設定に失敗しました";

void PrintRefusal(const CompressorSettings& settings, const MovieOptions& options, const MovieJob& job) {
  PrintLine("エラー : 圧縮形式 " + options.codec.value_or(FourccText(settings.fccHandler)) +
            " ではこのフレームを圧縮できません (" + std::to_string(job.width) + " × " + std::to_string(job.height) +
            "、" + std::to_string(job.fps) + " fps)");
}

// The file, its stream, the compressed stream and the format; empty once the failing step's
// message is printed (and what was created of the file is gone again).
std::unique_ptr<AviFile> OpenMovieFile(const std::string& path, const AviStreamInfo& info,
                                       const CompressorSettings& settings, const BitmapInfoHeader& format) {
  auto file = AviFile::Create(path);
  std::string_view failure;
  if (!file) {
    failure = kFileFailed;
  } else if (!file->CreateStream(info)) {
    failure = kStreamFailed;
  } else if (!file->MakeCompressedStream(settings)) {
    failure = kCompressorFailed;
  } else if (!file->SetFormat(format)) {
    failure = kFormatFailed;
  }
  if (failure.empty()) return file;
  PrintLine(failure);
  return nullptr;
}

void PrintProgress(int32_t done, int32_t count) {
  char line[64];
  std::snprintf(line, sizeof line, "%d / %d フレーム\r", done, count);
  PrintRaw(line);
}

// The frame loop. False once a failure's message is printed.
class FrameLoop {
 public:
  FrameLoop(const MovieJob& job, Frame& frame, BitmapImage& bitmap, AviFile& file)
      : job_(job), frame_(frame), bitmap_(bitmap), file_(file) {}

  bool Run(int32_t count, std::vector<std::shared_ptr<VideoObject>>& pending) {
    for (int32_t i = 0; i < count; ++i) {
      const double time = FrameTime(i, job_.fps);
      active_.Drop(time);
      active_.Activate(pending, time);
      frame_.Clear(job_.background);
      Canvas canvas(frame_);
      active_.Draw(canvas, time);
      if (!bitmap_.Encode(frame_) || !file_.Write(i, bitmap_.FrameData())) {
        PrintLine(kConversionFailed);
        return false;
      }
      PrintProgress(i + 1, count);
    }
    return true;
  }

 private:
  const MovieJob& job_;
  Frame& frame_;
  BitmapImage& bitmap_;
  AviFile& file_;
  ActiveObjects active_;
};

}  // namespace

void RenderMovie(const MovieJob& job, std::vector<std::shared_ptr<VideoObject>>& pending, const std::string& path) {
  PrintLine("avi作成開始");
  std::unique_ptr<Frame> frame = job.graphics ? job.graphics->CreateRenderTarget(job.width, job.height) : nullptr;
  if (!frame) PrintLine(kTextureFailed);
  if (!job.graphics) {
    PrintLine(kRendererFailed);
    return;
  }
  const int32_t count = FrameCount(job.fps, job.length);

  // Of this first image only the header matters: it is the stream's format.
  BitmapImage bitmap;
  if (frame) frame->Clear(job.background);
  if (!frame || !bitmap.Encode(*frame)) {
    PrintLine(kConversionFailed);
    return;
  }
  const BitmapInfoHeader format = bitmap.InfoHeader();

  const MovieOptions no_options;
  const MovieOptions& options = job.options ? *job.options : no_options;
  CompressorSettings settings;
  switch (ChooseMovieCompressor(options, format, job.fps, settings)) {
    case CompressorChoice::kChosen:
      break;
    case CompressorChoice::kCancelled:
      PrintLine(kCancelled);
      return;
    case CompressorChoice::kRefused:
      PrintRefusal(settings, options, job);
      return;
  }

  AviStreamInfo info;
  info.fccHandler = settings.fccHandler;
  info.dwRate = job.fps;
  info.width = job.width;
  info.height = job.height;
  info.szName = "created by talmora";
  const std::unique_ptr<AviFile> file = OpenMovieFile(path, info, settings, format);
  if (!file) return;

  bool written = FrameLoop(job, *frame, bitmap, *file).Run(count, pending);
  // Closing flushes what the compressor still holds and completes the index.
  if (!file->Close() && written) {
    PrintLine(kConversionFailed);
    written = false;
  }
  if (written) PrintLine("aviの作成が完了しました");
}

}  // namespace talmora
