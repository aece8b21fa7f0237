#include "video/movie_render.h"

#include <cstdio>
#include <string>
#include <string_view>
#include <thread>

#include "platform/console/reporter.h"
#include "platform/files/pending_file.h"
#include "platform/movie/movie_recorder.h"
#include "platform/render/canvas.h"
#include "platform/render/frame.h"
#include "platform/render/graphics_device.h"
#include "script/number_text.h"
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

void PrintRefusal(const CompressorSettings& settings, const MovieOptions& options, const MovieJob& job,
                  Reporter& reporter) {
  reporter.Line("エラー : 圧縮形式 " + options.codec.value_or(FourccText(settings.fourcc)) +
            " ではこのフレームを圧縮できません (" + std::to_string(job.width) + " × " + std::to_string(job.height) +
            "、" + std::to_string(job.fps) + " fps)");
}

// The file, its stream, the compressor and the headers; empty once the failing step's message
// is printed (and what was created of the file is gone again).
std::unique_ptr<MovieRecorder> OpenMovie(const MovieContainer& container, const std::string& path,
                                         const MovieStream& stream, const CompressorSettings& settings,
                                         Reporter& reporter) {
  auto movie = MovieRecorder::Open(container, path, stream, settings);
  if (movie) return std::move(*movie);
  reporter.Line(movie.error().what);
  return nullptr;
}

// The failure lines of a size out of range never say what the range is.
void PrintSizeRange(const MovieJob& job, Reporter& reporter) {
  if (job.width >= 1 && job.height >= 1 && job.width <= Frame::kMaxSide && job.height <= Frame::kMaxSide) return;
  reporter.Line("エラー : 動画の大きさ " + std::to_string(job.width) + " × " + std::to_string(job.height) +
            " は使えません。幅・高さとも 1 から " + std::to_string(Frame::kMaxSide) + " までです");
}

void PrintTooManyFrames(const MovieJob& job, Reporter& reporter) {
  reporter.Line("エラー : 動画の長さ " + Shortest(job.length) + " 秒は " + std::to_string(job.fps) +
            " fps でフレーム数の上限 " + std::to_string(kMaxFrameCount) + " を超えます");
}

void PrintProgress(int32_t done, int32_t count, Reporter& reporter) {
  char line[64];
  std::snprintf(line, sizeof line, "%d / %d フレーム\r", done, count);
  reporter.Raw(line);
}

// The frame loop. Frame i is drawn while frame i - 1 is compressed, unless nothing on screen
// changed since frame i - 1: then it is written as that one again. What drawing prints is held
// back until frame i - 1's progress line is out, so the console reads as if each frame were
// drawn and written in turn. False once a failure's message is printed.
bool RenderFrames(const MovieJob& job, FramePipeline& pipeline, FrameRange frames, const Scene& scene,
                  Reporter& reporter) {
  const int32_t count = frames.Count();
  const auto report = [&](int32_t done) {
    PrintProgress(done, count, reporter);
    if (job.progress) job.progress->Frame();
  };
  RenderState state;
  for (int32_t i = frames.first; i < frames.end; ++i) {
    const int32_t index = i - frames.first;  // in the file
    const double time = FrameTime(i, job.fps);
    HeldReporter drawing_said;
    state.Prepare(scene.AtFrame(i, job.fps), drawing_said);
    bool written = false;
    if (index > 0 && state.DrawsAsBefore(FrameTime(i - 1, job.fps), time)) {
      written = pipeline.Repeat(index);
    } else {
      {
        Canvas canvas(pipeline.Next(), job.background);
        state.Draw(canvas, time);
      }
      written = pipeline.Submit(index);
    }
    if (!written) {
      reporter.Line(kConversionFailed);
      return false;
    }
    if (index > 0) report(index);
    if (!drawing_said.Text().empty()) reporter.Raw(drawing_said.Text());
  }
  if (!pipeline.Finish()) {
    reporter.Line(kConversionFailed);
    return false;
  }
  if (count > 0) report(count);
  return true;
}

}  // namespace

MovieResult RenderMovie(const MovieJob& job, const Scene& scene, const std::string& path, Reporter& reporter) {
  const FrameRange frames = job.frames.value_or(FrameRange{0, FrameCount(job.fps, job.length)});
  if (job.progress) job.progress->Start(frames.Count(), job.fps);
  reporter.Line("avi作成開始");
  std::unique_ptr<Frame> frame = job.graphics ? job.graphics->CreateRenderTarget(job.width, job.height) : nullptr;
  if (!frame) reporter.Line(kTextureFailed);
  if (!job.graphics) {
    reporter.Line(kRendererFailed);
    return MovieResult::kNotStarted;
  }
  if (!frame) {
    reporter.Line(kConversionFailed);
    PrintSizeRange(job, reporter);
    return MovieResult::kNotStarted;
  }
  if (FrameCountTooLarge(job.fps, job.length)) {
    PrintTooManyFrames(job, reporter);
    return MovieResult::kNotStarted;
  }
  const MovieOptions no_options;
  const MovieOptions& options = job.options ? *job.options : no_options;
  CompressorSettings settings;
  switch (ChooseMovieCompressor(options, job.width, job.height, job.fps, reporter, settings)) {
    case CompressorChoice::kChosen:
      break;
    case CompressorChoice::kCancelled:
      reporter.Line(kCancelled);
      return MovieResult::kNotStarted;
    case CompressorChoice::kUnfit:  // its line is printed
      return MovieResult::kNotStarted;
    case CompressorChoice::kRefused:
      PrintRefusal(settings, options, job, reporter);
      return MovieResult::kNotStarted;
  }

  const MovieStream stream{settings.fourcc, job.fps, job.width, job.height, std::string(kMovieStreamTitle)};
  const std::unique_ptr<MovieRecorder> movie = OpenMovie(options.Container(), path, stream, settings, reporter);
  if (!movie) return MovieResult::kNotStarted;
  if (job.made) *job.made = {settings.fourcc, job.width, job.height, movie->StreamHeader()};

  bool written = false;
  {
    // Each frame is drawn and converted on this thread while the one before is compressed and
    // written on another, unless there is no second core. Uncompressed frames are only copied,
    // and measured slower overlapped.
    const bool overlapped = !job.serial && settings.fourcc != MakeFourcc("DIB ") &&
                            std::thread::hardware_concurrency() > 1;
    FramePipeline pipeline(
        std::move(frame), overlapped, [&movie](const Frame& drawn) { return movie->Convert(drawn); },
        [&movie](int64_t index) { return movie->Send(index); },
        [&movie](int64_t index) { return movie->Repeat(index); });
    written = RenderFrames(job, pipeline, frames, scene, reporter);
  }
  // Closing flushes what the compressor still holds and completes the file.
  if (!movie->Close() && written) {
    reporter.Line(kConversionFailed);
    written = false;
  }
  if (const int error = movie->WriteError()) reporter.Line(WriteFailureDetail(path, error));
  if (!written) return MovieResult::kCutShort;
  reporter.Line("aviの作成が完了しました");
  return MovieResult::kCompleted;
}

}  // namespace talmora
