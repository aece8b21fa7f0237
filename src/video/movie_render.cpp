#include "video/movie_render.h"

#include <cstdio>
#include <string_view>

#include "platform/console/print_line.h"
#include "platform/movie/avi_file.h"
#include "platform/movie/bitmap_image.h"
#include "video/active_objects.h"
#include "video/compressor_choice.h"
#include "video/device.h"
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
  FrameLoop(const MovieJob& job, Frame& frame, Sprite& sprite, BitmapImage& bitmap, AviFile& file)
      : job_(job), frame_(frame), sprite_(sprite), bitmap_(bitmap), file_(file) {}

  bool Run(int32_t count, std::vector<std::shared_ptr<VideoObject>>& pending) {
    for (int32_t i = 0; i < count; ++i) {
      const double time = FrameTime(i, job_.fps);
      active_.Drop(time);
      active_.Activate(pending, time);
      frame_.Clear(job_.background);
      sprite_.Begin(frame_);
      active_.Draw(time);
      sprite_.End();
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
  Sprite& sprite_;
  BitmapImage& bitmap_;
  AviFile& file_;
  ActiveObjects active_;
};

}  // namespace

bool RenderMovie(const MovieJob& job, std::vector<std::shared_ptr<VideoObject>>& pending, const std::string& path) {
  PrintLine("avi作成開始");
  GraphicsDevice* graphics = job.device ? job.device->GetDevice() : nullptr;
  std::unique_ptr<Frame> frame = graphics ? graphics->CreateRenderTarget(job.width, job.height) : nullptr;
  if (!frame) PrintLine(kTextureFailed);
  Sprite* sprite = job.device ? job.device->GetSprite() : nullptr;
  if (!sprite) {
    PrintLine(kRendererFailed);
    return false;
  }
  const int32_t count = FrameCount(job.fps, job.length);

  // Of this first image only the header matters: it is the stream's format.
  BitmapImage bitmap;
  if (frame) frame->Clear(job.background);
  if (!frame || !bitmap.Encode(*frame)) {
    PrintLine(kConversionFailed);
    return false;
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
      return false;
    case CompressorChoice::kUnfit:  // its line is printed
      return false;
    case CompressorChoice::kRefused:
      PrintRefusal(settings, options, job);
      return false;
  }

  AviStreamInfo info;
  info.fccHandler = settings.fccHandler;
  info.dwRate = job.fps;
  info.width = job.width;
  info.height = job.height;
  info.szName = "created by talmora";
  const std::unique_ptr<AviFile> file = OpenMovieFile(path, info, settings, format);
  if (!file) return false;

  bool written = FrameLoop(job, *frame, *sprite, bitmap, *file).Run(count, pending);
  // Closing flushes what the compressor still holds and completes the index.
  if (!file->Close() && written) {
    PrintLine(kConversionFailed);
    written = false;
  }
  if (written) PrintLine("aviの作成が完了しました");
  return written;
}

}  // namespace talmora
