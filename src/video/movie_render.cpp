#include "video/movie_render.h"

#include <charconv>
#include <cstdio>
#include <string>
#include <string_view>
#include <thread>

#include "platform/console/print_line.h"
#include "platform/files/pending_file.h"
#include "platform/movie/movie_recorder.h"
#include "platform/render/canvas.h"
#include "platform/render/frame.h"
#include "platform/render/graphics_device.h"
#include "video/compressor_choice.h"
#include "video/frame_pipeline.h"
#include "video/frame_timing.h"
#include "video/scene.h"

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

// The frame loop. Frame i is drawn while frame i - 1 is compressed; what drawing prints is held
// back until frame i - 1's progress line is out, so the console reads as if each frame were
// drawn and written in turn. False once a failure's message is printed.
bool RenderFrames(const MovieJob& job, FramePipeline& pipeline, FrameRange frames, const Scene& scene) {
  const int32_t count = frames.Count();
  const auto report = [&](int32_t done) {
    PrintProgress(done, count);
    if (job.progress) job.progress->Frame();
  };
  RenderState state;
  for (int32_t i = frames.first; i < frames.end; ++i) {
    const int32_t index = i - frames.first;  // in the file
    const double time = FrameTime(i, job.fps);
    std::string drawing_said;
    {
      const ConsoleCapture held;
      state.Prepare(scene.AtFrame(i, job.fps));
      Frame& frame = pipeline.Next();
      frame.Clear(job.background);
      Canvas canvas(frame);
      state.Draw(canvas, time);
      drawing_said = held.Text();
    }
    if (!pipeline.Submit(index)) {
      PrintLine(kConversionFailed);
      return false;
    }
    if (index > 0) report(index);
    if (!drawing_said.empty()) PrintRaw(drawing_said);
  }
  if (!pipeline.Finish()) {
    PrintLine(kConversionFailed);
    return false;
  }
  if (count > 0) report(count);
  return true;
}

}  // namespace

MovieResult RenderMovie(const MovieJob& job, const Scene& scene, const std::string& path) {
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

  const MovieStream stream{settings.fourcc, job.fps, job.width, job.height, std::string(kMovieStreamTitle)};
  const std::unique_ptr<MovieRecorder> movie = OpenMovie(options.Container(), path, stream, settings);
  if (!movie) return MovieResult::kNotStarted;
  if (job.made) *job.made = {settings.fourcc, job.width, job.height, movie->StreamHeader()};

  bool written = false;
  {
    // A second frame to draw into while the first is compressed; without one, or without a
    // second core, each frame is drawn and compressed in turn. Uncompressed frames are only
    // copied, and measured slower overlapped (the two frames share the cache with the copy).
    const bool overlapped = !job.serial && settings.fourcc != MakeFourcc("DIB ") &&
                            std::thread::hardware_concurrency() > 1;
    FramePipeline pipeline(std::move(frame),
                           overlapped ? job.graphics->CreateRenderTarget(job.width, job.height) : nullptr,
                           [&movie](int64_t index, const Frame& drawn) { return movie->Write(index, drawn); });
    written = RenderFrames(job, pipeline, frames, scene);
  }
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
