#pragma once

#include <string>
#include <string_view>

namespace talmora {

// Japanese-capable gothic face used for the scripts' default "ＭＳ ゴシック" and for every face
// that is not installed, so that Latin, kana and kanji all render.
inline constexpr std::string_view kFallbackFace = "IPAGothic";

// The fontconfig family to lay text out with: the face itself when fontconfig has fonts of
// that family (or it is one of the generic families), the fallback face otherwise.
std::string ResolveFace(std::string_view face);

}  // namespace talmora
