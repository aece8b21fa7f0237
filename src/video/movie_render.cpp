#include "video/movie_render.h"

#include <charconv>
#include <cstdio>
#include <string>
#include <string_view>

#include "platform/console/print_line.h"
#include "platform/files/pending_file.h"
#include "platform/movie/movie_recorder.h"
#include "platform/render/canvas.h"
#include "platform/render/frame.h"
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
  PrintLine("エラー : 圧縮形式 " + options.codec.value_or(FourccText(settings.fourcc)) +
            " ではこのフレームを圧縮できません (" + std::to_string(job.width) + " × " + std::to_string(job.height) +
            "、" + std::to_string(job.fps) + " fps)");
}

// The file, its stream, the compressor and the headers; empty once the failing step's message
// is printed (and what was created of the file is gone again).
std::unique_ptr<MovieRecorder> OpenMovie(const MovieContainer& container, const std::string& path,
                                         const MovieStream& stream, const CompressorSettings& settings) {
  auto movie = MovieRecorder::Open(container, path, stream, settings);
  if (movie) return std::move(*movie);
  switch (movie.error()) {
    case MovieFailure::kFile:
      PrintLine(kFileFailed);
      break;
    case MovieFailure::kStream:
      PrintLine(kStreamFailed);
      break;
    case MovieFailure::kCompressor:
      PrintLine(kCompressorFailed);
      break;
    case MovieFailure::kHeaders:
      PrintLine(kFormatFailed);
      break;
  }
  return nullptr;
}

// The failure lines of a size out of range never say what the range is.
void PrintSizeRange(const MovieJob& job) {
  if (job.width >= 1 && job.height >= 1 && job.width <= Frame::kMaxSide && job.height <= Frame::kMaxSide) return;
  PrintLine("エラー : 動画の大きさ " + std::to_string(job.width) + " × " + std::to_string(job.height) +
            " は使えません。幅・高さとも 1 から " + std::to_string(Frame::kMaxSide) + " までです");
}

void PrintTooManyFrames(const MovieJob& job) {
  char length[32];
  const auto written = std::to_chars(length, length + sizeof length, job.length);
  PrintLine("エラー : 動画の長さ " + std::string(length, written.ptr) + " 秒は " + std::to_string(job.fps) +
            " fps でフレーム数の上限 " + std::to_string(kMaxFrameCount) + " を超えます");
}

void PrintProgress(int32_t done, int32_t count) {
  char line[64];
  std::snprintf(line, sizeof line, "%d / %d フレーム\r", done, count);
  PrintRaw(line);
}

// The frame loop. False once a failure's message is printed.
bool RenderFrames(const MovieJob& job, Frame& frame, MovieRecorder& movie, FrameRange frames,
                  std::vector<std::shared_ptr<VideoObject>>& pending) {
  ActiveObjects active;
  SkipFrames(active, pending, job.fps, frames.first);
  for (int32_t i = frames.first; i < frames.end; ++i) {
    const double time = FrameTime(i, job.fps);
    active.Drop(time);
    active.Activate(pending, time);
    frame.Clear(job.background);
    Canvas canvas(frame);
    active.Draw(canvas, time);
    if (!movie.Write(i - frames.first, frame)) {
      PrintLine(kConversionFailed);
      return false;
    }
    PrintProgress(i + 1 - frames.first, frames.Count());
    if (job.progress) job.progress->Frame();
  }
  return true;
}

}  // namespace

MovieResult RenderMovie(const MovieJob& job, std::vector<std::shared_ptr<VideoObject>>& pending,
                        const std::string& path) {
  const FrameRange frames = job.frames.value_or(FrameRange{0, FrameCount(job.fps, job.length)});
  if (job.progress) job.progress->Start(frames.Count(), job.fps);
  PrintLine("avi作成開始");
  std::unique_ptr<Frame> frame = job.graphics ? job.graphics->CreateRenderTarget(job.width, job.height) : nullptr;
  if (!frame) PrintLine(kTextureFailed);
  if (!job.graphics) {
    PrintLine(kRendererFailed);
    return MovieResult::kNotStarted;
  }
  if (!frame) {
    PrintLine(kConversionFailed);
    PrintSizeRange(job);
    return MovieResult::kNotStarted;
  }
  if (FrameCountTooLarge(job.fps, job.length)) {
    PrintTooManyFrames(job);
    return MovieResult::kNotStarted;
  }
  const MovieOptions no_options;
  const MovieOptions& options = job.options ? *job.options : no_options;
  CompressorSettings settings;
  switch (ChooseMovieCompressor(options, job.width, job.height, job.fps, settings)) {
    case CompressorChoice::kChosen:
      break;
    case CompressorChoice::kCancelled:
      PrintLine(kCancelled);
      return MovieResult::kNotStarted;
    case CompressorChoice::kUnfit:  // its line is printed
      return MovieResult::kNotStarted;
    case CompressorChoice::kRefused:
      PrintRefusal(settings, options, job);
      return MovieResult::kNotStarted;
  }

  const MovieStream stream{settings.fourcc, job.fps, job.width, job.height, "created by talmora"};
  const std::unique_ptr<MovieRecorder> movie = OpenMovie(options.Container(), path, stream, settings);
  if (!movie) return MovieResult::kNotStarted;

  bool written = RenderFrames(job, *frame, *movie, frames, pending);
  // Closing flushes what the compressor still holds and completes the file.
  if (!movie->Close() && written) {
    PrintLine(kConversionFailed);
    written = false;
  }
  if (const int error = movie->WriteError()) PrintLine(WriteFailureDetail(path, error));
  if (!written) return MovieResult::kCutShort;
  PrintLine("aviの作成が完了しました");
  return MovieResult::kCompleted;
}

}  // namespace talmora
