#pragma once

#include <cmath>
#include <cstdint>

#include "platform/render/frame.h"

namespace talmora {

// Where a point lands: (u, v) goes to (xx u + xy v + x0, yx u + yy v + y0).
struct Affine {
  double xx = 1, xy = 0, x0 = 0;
  double yx = 0, yy = 1, y0 = 0;

  bool Identity() const { return xx == 1 && xy == 0 && x0 == 0 && yx == 0 && yy == 1 && y0 == 0; }
  // No turn and no shear: rows stay rows.
  bool AxisAligned() const { return xy == 0 && yx == 0; }
};

// The transform that undoes `m`; false when `m` flattens the plane or is not finite.
inline bool Invert(const Affine& m, Affine& out) {
  const double det = m.xx * m.yy - m.xy * m.yx;
  if (!(det != 0) || !std::isfinite(det)) return false;
  out = Affine{m.yy / det, -m.xy / det, (m.xy * m.y0 - m.yy * m.x0) / det,
               -m.yx / det, m.xx / det, (m.yx * m.x0 - m.xx * m.y0) / det};
  return std::isfinite(out.xx + out.xy + out.x0 + out.yx + out.yy + out.y0);
}

// `first`, then `second`.
inline Affine Then(const Affine& first, const Affine& second) {
  return Affine{second.xx * first.xx + second.xy * first.yx, second.xx * first.xy + second.xy * first.yy,
                second.xx * first.x0 + second.xy * first.y0 + second.x0,
                second.yx * first.xx + second.yy * first.yx, second.yx * first.xy + second.yy * first.yy,
                second.yx * first.x0 + second.yy * first.y0 + second.y0};
}

// Pixels a draw may change: the movie's frame, whose pixels are straight alpha, or a layer,
// whose pixels are premultiplied so that it can be composited back as a picture.
struct Surface {
  Frame* frame = nullptr;
  Rect clip;  // within the frame
  bool premultiplied = false;

  static Surface Whole(Frame& frame) { return Surface{&frame, Rect{0, 0, frame.Width(), frame.Height()}, false}; }
  bool Empty() const { return clip.left >= clip.right || clip.top >= clip.bottom; }
};

// What the canvas hands a drawer that paints pixels itself (a font): the surface, where the
// drawer's coordinates land on it, and the opacity its colours are multiplied by.
struct DrawTarget {
  Surface surface;
  Affine transform;
  uint32_t opacity = 255;
};

// The colour's alpha multiplied by the opacity (0 to 255), rounded as the kernels round.
uint32_t WithOpacity(uint32_t argb, uint32_t opacity);

}  // namespace talmora
