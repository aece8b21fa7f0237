#pragma once

#include <optional>
#include <string_view>

namespace talmora {

// How the progress s through an object's window (0 to 1) is shaped before the values move by it.
struct Ease {
  enum class Kind { kLinear, kIn, kOut, kInOut, kBezier };
  Kind kind = Kind::kLinear;
  // The control points of a cubic Bézier from (0, 0) to (1, 1), as CSS gives them.
  double x1 = 0, y1 = 0, x2 = 1, y2 = 1;

  // Linear gives s itself, so objects without an ease move exactly as they always did.
  double Apply(double s) const;
};

// "linear", "in", "out", "inout" or "cubic-bezier(x1, y1, x2, y2)" with x1 and x2 in [0, 1];
// empty for anything else.
std::optional<Ease> ParseEase(std::string_view text);

}  // namespace talmora
