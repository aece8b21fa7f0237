#include "video/image.h"

#include "platform/console/print_line.h"
#include "platform/render/canvas.h"
#include "platform/render/graphics_device.h"
#include "platform/render/texture.h"
#include "script/file_path.h"

namespace talmora {

Image::Image(ScriptContext& context) : VideoObject(context) {}

Image::~Image() = default;

void Image::ReadProperties(AttributeMap& attributes) {
  VideoObject::ReadProperties(attributes);
  if (!ReadText(attributes, "src", src)) return;
  // A file that does not open keeps the name as written, so a later failure shows it unchanged.
  if (auto full = ReadableFilePath(src)) src = std::move(*full);
}

void Image::LoadTexture() {
  std::string refusal;
  if (context_.graphics) {
    auto loaded = context_.graphics->LoadTexture(src);
    if (loaded) {
      texture_ = std::move(*loaded);
    } else if (loaded.error().over_budget) {
      refusal = loaded.error().what;
    }
  }
  PrintLine(texture_ ? src : "Image::Draw() : テクスチャの読み込みに失敗しました - " + src);
  if (!refusal.empty()) PrintLine(refusal);
  if (!texture_) context_.outcome.NoteFailed();
}

void Image::Draw(Canvas& canvas, double time) {
  if (!load_tried_) {
    load_tried_ = true;
    LoadTexture();
  }
  if (!texture_) return;
  Rect rect;
  uint32_t argb = 0;
  Interpolate(time, rect, argb);
  if (const double turn = AngleAt(time); IsTurned(turn)) {
    canvas.DrawTurnedTexture(*texture_, rect, turn, argb);
    return;
  }
  // The differences in doubles: the edges may lie anywhere in the 32-bit range.
  const auto sx = static_cast<float>((static_cast<double>(rect.right) - rect.left) / texture_->Width());
  const auto sy = static_cast<float>((static_cast<double>(rect.bottom) - rect.top) / texture_->Height());
  canvas.DrawTexture(*texture_, sx, sy, static_cast<float>(rect.left), static_cast<float>(rect.top), argb);
}

}  // namespace talmora
