#include "video/frame_picture.h"

#include "platform/console/reporter.h"
#include "platform/movie/png_picture.h"
#include "platform/render/canvas.h"
#include "platform/render/graphics_device.h"
#include "video/frame_timing.h"
#include "video/scene.h"

namespace talmora {

std::unique_ptr<Frame> DrawPicture(const MovieJob& job, const Scene& scene, RenderState& state, Reporter& reporter) {
  const FrameRange frames = job.frames.value_or(FrameRange{});
  std::unique_ptr<Frame> frame = job.graphics ? job.graphics->CreateRenderTarget(job.width, job.height) : nullptr;
  if (!frame || frames.Count() != 1) {
    reporter.Line("エラー : レンダリングターゲットテクスチャの作成に失敗しました");
    return nullptr;
  }
  state.Prepare(scene.AtFrame(frames.first, job.fps), reporter);
  {
    Canvas canvas(*frame, job.background);
    state.Draw(canvas, FrameTime(frames.first, job.fps));
  }
  return frame;
}

bool RenderPicture(const MovieJob& job, const Scene& scene, const std::string& path, Reporter& reporter) {
  if (job.progress) job.progress->Start(job.frames.value_or(FrameRange{}).Count(), job.fps);
  RenderState state;
  const std::unique_ptr<Frame> frame = DrawPicture(job, scene, state, reporter);
  if (!frame) return false;
  std::string error;
  if (!WritePngPicture(*frame, path, error)) {
    reporter.Line("エラー : PNG画像の書き出しに失敗しました : " + path + " (" + error + ")");
    return false;
  }
  if (job.progress) job.progress->Frame();
  reporter.Line("PNG画像を書き出しました : " + path);
  return true;
}

}  // namespace talmora
