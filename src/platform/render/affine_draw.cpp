#include "platform/render/affine_draw.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

#include "platform/render/blend_row.h"
#include "platform/render/level_choice.h"
#include "platform/render/texture.h"

namespace talmora {
namespace {

// Texel coordinates are stepped along a row in 32.32 fixed point: over the widest frame the
// steps drift by well under a thousandth of a texel.
constexpr double kFixedOne = 4294967296.0;
// Beyond this many texels per pixel (after choosing a level) a picture is a degenerate sliver.
constexpr double kMaxGradient = 1 << 20;

// a × (256 − f) + b × f, over 256 and rounded, on the four bytes at once: two 16-bit lanes in
// each half, none past 65408.
inline uint32_t Lerp(uint32_t a, uint32_t b, uint32_t f) {
  const uint32_t g = 256 - f;
  const uint32_t rb = (((a & 0xFF00FF) * g + (b & 0xFF00FF) * f + 0x800080) >> 8) & 0xFF00FF;
  const uint32_t ag = (((a >> 8) & 0xFF00FF) * g + ((b >> 8) & 0xFF00FF) * f + 0x800080) & 0xFF00FF00;
  return rb | ag;
}

// The premultiplied texel times k / 255, rounded; it stays premultiplied.
inline uint32_t Scale(uint32_t p, uint32_t k) {
  uint32_t rb = (p & 0xFF00FF) * k + 0x800080;
  rb = ((rb + ((rb >> 8) & 0xFF00FF)) >> 8) & 0xFF00FF;
  uint32_t ag = ((p >> 8) & 0xFF00FF) * k + 0x800080;
  ag = (ag + ((ag >> 8) & 0xFF00FF)) & 0xFF00FF00;
  return rb | ag;
}

// Bilinear sample at fixed-point (u, v), already shifted by half a texel so that the integer
// part is the texel up and left of the sample; texels past the edges repeat the edge texel.
inline uint32_t Bilinear(const TexelPlane& plane, int64_t u, int64_t v) {
  const int64_t i = u >> 32;
  const int64_t j = v >> 32;
  const int64_t last_x = plane.Width() - 1;
  const int64_t last_y = plane.Height() - 1;
  const auto i0 = static_cast<size_t>(std::clamp<int64_t>(i, 0, last_x));
  const auto i1 = static_cast<size_t>(std::clamp<int64_t>(i + 1, 0, last_x));
  const uint32_t* r0 = plane.Row(static_cast<int>(std::clamp<int64_t>(j, 0, last_y)));
  const uint32_t* r1 = plane.Row(static_cast<int>(std::clamp<int64_t>(j + 1, 0, last_y)));
  const auto fx = static_cast<uint32_t>(u >> 24) & 0xFF;
  const auto fy = static_cast<uint32_t>(v >> 24) & 0xFF;
  return Lerp(Lerp(r0[i0], r0[i1], fx), Lerp(r1[i0], r1[i1], fx), fy);
}

// One texel axis seen from the frame: its level-0 coordinate at the pixel centre (px, py) is
// dx px + dy py + c; the picture spans [0, size) on it.
struct Axis {
  double dx, dy, c;
  double size;
  double margin;  // half a pixel, in texels across the edge
  double reach;   // pixels per texel across the edge
  double ratio;   // level texels per level-0 texel
};

// The real x where lo < a x + b < hi (open) as [first, last].
struct Range {
  double first, last;
};

Range Solve(double a, double b, double lo, double hi) {
  if (a == 0) return lo < b && b < hi ? Range{-HUGE_VAL, HUGE_VAL} : Range{HUGE_VAL, -HUGE_VAL};
  const double p = (lo - b) / a;
  const double q = (hi - b) / a;
  return a > 0 ? Range{p, q} : Range{q, p};
}

int Clamped(double x, int limit) { return static_cast<int>(std::clamp(x, -1.0, limit + 1.0)); }

// How far inside both pairs of edges the pixel centre lies, as coverage 0 to 255 over one pixel.
inline uint32_t EdgeCoverage(const Axis& u, const Axis& v, double tu, double tv) {
  const double cu = std::clamp(std::min(tu, u.size - tu) * u.reach + 0.5, 0.0, 1.0);
  const double cv = std::clamp(std::min(tv, v.size - tv) * v.reach + 0.5, 0.0, 1.0);
  return static_cast<uint32_t>(cu * cv * 255 + 0.5);
}

struct Setup {
  const TexelPlane* plane;
  Axis u, v;
  int row_begin, row_end;
};

// Samples the row's pixels [begin, end) into `line`, scaling those in the outline band by their
// coverage; returns the fully covered part [inner_begin, inner_end) through the arguments.
void SampleRow(const Setup& s, int y, uint32_t* line, int& begin, int& end, int& inner_begin, int& inner_end,
               int width) {
  const double py = y + 0.5;
  const double bu = s.u.dx * 0.5 + s.u.dy * py + s.u.c;
  const double bv = s.v.dx * 0.5 + s.v.dy * py + s.v.c;
  const Range touch_u = Solve(s.u.dx, bu, -s.u.margin, s.u.size + s.u.margin);
  const Range touch_v = Solve(s.v.dx, bv, -s.v.margin, s.v.size + s.v.margin);
  begin = std::max(0, Clamped(std::floor(std::max(touch_u.first, touch_v.first)), width) + 1);
  end = std::min(width, Clamped(std::ceil(std::min(touch_u.last, touch_v.last)), width));
  if (begin >= end) return;
  const Range full_u = Solve(s.u.dx, bu, s.u.margin, s.u.size - s.u.margin);
  const Range full_v = Solve(s.v.dx, bv, s.v.margin, s.v.size - s.v.margin);
  inner_begin = std::clamp(Clamped(std::ceil(std::max(full_u.first, full_v.first)), width), begin, end);
  inner_end = std::clamp(Clamped(std::floor(std::min(full_u.last, full_v.last)), width) + 1, inner_begin, end);

  const double tu = s.u.dx * begin + bu;
  const double tv = s.v.dx * begin + bv;
  int64_t fu = std::llround((tu * s.u.ratio - 0.5) * kFixedOne);
  int64_t fv = std::llround((tv * s.v.ratio - 0.5) * kFixedOne);
  const int64_t step_u = std::llround(s.u.dx * s.u.ratio * kFixedOne);
  const int64_t step_v = std::llround(s.v.dx * s.v.ratio * kFixedOne);
  auto edge = [&](int from, int to) {
    for (int x = from; x < to; ++x, fu += step_u, fv += step_v) {
      const uint32_t k = EdgeCoverage(s.u, s.v, s.u.dx * x + bu, s.v.dx * x + bv);
      line[x] = Scale(Bilinear(*s.plane, fu, fv), k);
    }
  };
  edge(begin, inner_begin);
  for (int x = inner_begin; x < inner_end; ++x, fu += step_u, fv += step_v) line[x] = Bilinear(*s.plane, fu, fv);
  edge(inner_end, end);
}

// The kernel is chosen once per draw. Opaque white copies the inside of the outline; the
// outline band, partly covered, is blended over.
template <BlendMode kMode>
void DrawRows(Frame& frame, const Setup& s, const Tint& tint) {
  std::vector<uint32_t> line(static_cast<size_t>(frame.Width()));
  for (int y = s.row_begin; y < s.row_end; ++y) {
    int begin = 0, end = 0, inner_begin = 0, inner_end = 0;
    SampleRow(s, y, line.data(), begin, end, inner_begin, inner_end, frame.Width());
    if (begin >= end) continue;
    uint32_t* dst = frame.Row(y);
    if constexpr (kMode == BlendMode::kCopy) {
      BlendRow<BlendMode::kOver, false>(dst + begin, line.data() + begin, inner_begin - begin, tint);
      BlendRow<BlendMode::kCopy, false>(dst + inner_begin, line.data() + inner_begin, inner_end - inner_begin, tint);
      BlendRow<BlendMode::kOver, false>(dst + inner_end, line.data() + inner_end, end - inner_end, tint);
    } else {
      BlendRow<kMode, false>(dst + begin, line.data() + begin, end - begin, tint);
    }
  }
}

Axis MakeAxis(double dx, double dy, double c, double size, double ratio) {
  const double gradient = std::hypot(dx, dy);
  return Axis{dx, dy, c, size, 0.5 * gradient, 1 / gradient, ratio};
}

}  // namespace

bool IsTurned(double degrees) { return std::fmod(degrees, 360.0) != 0; }

Affine PlaceTurned(double left, double top, double sx, double sy, double cx, double cy, double degrees) {
  double turn = std::fmod(degrees, 360.0);
  if (turn < 0) turn += 360;
  double cosine = 1, sine = 0;
  if (turn == 90) {
    cosine = 0, sine = 1;
  } else if (turn == 180) {
    cosine = -1, sine = 0;
  } else if (turn == 270) {
    cosine = 0, sine = -1;
  } else if (turn != 0) {
    const double radians = turn * std::numbers::pi / 180;
    cosine = std::cos(radians), sine = std::sin(radians);
  }
  // p = centre + R (q − centre) for q = (left + sx u, top + sy v); y points down, so R with a
  // positive sine turns clockwise on screen.
  const double dx = left - cx, dy = top - cy;
  return Affine{cosine * sx, -sine * sy, cx + cosine * dx - sine * dy,
                sine * sx,   cosine * sy, cy + sine * dx + cosine * dy};
}

void DrawAffine(Frame& target, const Texture& texture, const Affine& m, uint32_t argb) {
  if ((argb >> 24) == 0) return;
  const double det = m.xx * m.yy - m.xy * m.yx;
  if (!std::isfinite(det) || det == 0 || !std::isfinite(m.x0) || !std::isfinite(m.y0)) return;
  // The inverse: texel coordinates of a frame point.
  const double ux = m.yy / det, uy = -m.xy / det, u0 = (m.xy * m.y0 - m.yy * m.x0) / det;
  const double vx = -m.yx / det, vy = m.xx / det, v0 = (m.yx * m.x0 - m.xx * m.y0) / det;
  if (!std::isfinite(ux + uy + u0 + vx + vy + v0)) return;

  const int level = ChooseLevel(texture, std::hypot(ux, uy), std::hypot(vx, vy));
  const TexelPlane& plane = texture.Level(level);
  Setup s{&plane,
          MakeAxis(ux, uy, u0, texture.Width(), static_cast<double>(plane.Width()) / texture.Width()),
          MakeAxis(vx, vy, v0, texture.Height(), static_cast<double>(plane.Height()) / texture.Height()), 0, 0};
  if (!(std::hypot(ux, uy) * s.u.ratio < kMaxGradient && std::hypot(vx, vy) * s.v.ratio < kMaxGradient)) return;

  // Rows between the corners, a pixel of outline band beyond; each row finds its own span.
  double top = HUGE_VAL, bottom = -HUGE_VAL;
  for (const double u : {0.0, 1.0 * texture.Width()}) {
    for (const double v : {0.0, 1.0 * texture.Height()}) {
      const double y = m.yx * u + m.yy * v + m.y0;
      top = std::min(top, y);
      bottom = std::max(bottom, y);
    }
  }
  const int height = target.Height();
  s.row_begin = std::max(0, Clamped(std::floor(top - 1.5), height));
  s.row_end = std::min(height, Clamped(std::ceil(bottom + 1.5), height));
  if (s.row_begin >= s.row_end) return;

  const Tint tint = MakeTint(argb);
  if (argb != 0xFFFFFFFF) {
    DrawRows<BlendMode::kTinted>(target, s, tint);
  } else if (texture.Opaque()) {
    DrawRows<BlendMode::kCopy>(target, s, tint);
  } else {
    DrawRows<BlendMode::kOver>(target, s, tint);
  }
}

void DrawTurned(Frame& target, const Texture& texture, const Rect& rect, double degrees, uint32_t argb) {
  const double left = rect.left, top = rect.top, right = rect.right, bottom = rect.bottom;
  DrawAffine(target, texture,
             PlaceTurned(left, top, (right - left) / texture.Width(), (bottom - top) / texture.Height(),
                         (left + right) / 2, (top + bottom) / 2, degrees),
             argb);
}

}  // namespace talmora
