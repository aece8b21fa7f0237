#include "platform/text/font_face.h"

#include <array>

#include "platform/text/text_handles.h"

namespace talmora {
namespace {

bool IsGenericFamily(std::string_view face) {
  constexpr std::array<std::string_view, 3> kGeneric = {"sans-serif", "serif", "monospace"};
  for (std::string_view generic : kGeneric) {
    if (face == generic) return true;
  }
  return false;
}

// Listing rather than matching: a match always yields some font, even for a family that
// does not exist.
bool IsInstalled(const std::string& face) {
  FcPatternPtr pattern(FcPatternCreate());
  FcObjectSetPtr objects(FcObjectSetBuild(FC_FAMILY, nullptr));
  if (!pattern || !objects) return false;
  if (!FcPatternAddString(pattern.get(), FC_FAMILY, reinterpret_cast<const FcChar8*>(face.c_str()))) {
    return false;
  }
  FcFontSetPtr fonts(FcFontList(nullptr, pattern.get(), objects.get()));
  return fonts && fonts->nfont > 0;
}

}  // namespace

std::string ResolveFace(std::string_view face) {
  std::string name(face);
  // A NUL would cut the name short and name some other family.
  if (name.empty() || name.find('\0') != std::string::npos) return std::string(kFallbackFace);
  if (IsGenericFamily(name) || IsInstalled(name)) return name;
  return std::string(kFallbackFace);
}

}  // namespace talmora
