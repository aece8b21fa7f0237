#include "video/image.h"

#include "platform/console/print_line.h"
#include "platform/render/texture.h"
#include "script/file_path.h"
#include "video/device.h"

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
  GraphicsDevice* graphics = context_.device ? context_.device->GetDevice() : nullptr;
  std::string refusal;
  if (graphics) texture_ = graphics->LoadTexture(src, refusal);
  PrintLine(texture_ ? src : "Image::Draw() : テクスチャの読み込みに失敗しました - " + src);
  if (!refusal.empty()) PrintLine(refusal);
}

void Image::Draw(double time) {
  if (!load_tried_) {
    load_tried_ = true;
    LoadTexture();
  }
  Sprite* sprite = context_.device ? context_.device->GetSprite() : nullptr;
  if (!texture_ || !sprite) return;
  Rect rect;
  uint32_t argb = 0;
  Interpolate(time, rect, argb);
  // The differences in doubles: the edges may lie anywhere in the 32-bit range.
  const auto sx = static_cast<float>((static_cast<double>(rect.right) - rect.left) / texture_->Width());
  const auto sy = static_cast<float>((static_cast<double>(rect.bottom) - rect.top) / texture_->Height());
  sprite->SetTransform(sx, sy, static_cast<float>(rect.left), static_cast<float>(rect.top));
  sprite->Draw(*texture_, argb);
}

}  // namespace talmora
