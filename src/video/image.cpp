#include "video/image.h"

#include "script/file_path.h"

namespace talmora {

Image::Image(ScriptContext& context) : VideoObject(context) {}

void Image::ReadProperties(AttributeMap& attributes) {
  VideoObject::ReadProperties(attributes);
  if (!ReadText(attributes, "src", src)) return;
  // A file that does not open keeps the name as written, so a later failure shows it unchanged.
  if (auto full = ReadableFilePath(src)) src = std::move(*full);
}

void Image::Draw(double /*time*/) {}

}  // namespace talmora
