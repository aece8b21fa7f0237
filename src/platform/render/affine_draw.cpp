#include "platform/render/affine_draw.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>
#include <vector>

#include "platform/render/blend_row.h"
#include "platform/render/level_choice.h"
#include "platform/render/texture.h"

namespace talmora {
namespace {

// Texel coordinates are stepped along a row in 32.32 fixed point, afresh from exact values at the
// start of every column, so they drift by far less than a texel's 1/64.
constexpr double kFixedOne = 4294967296.0;
// Beyond this many texels per pixel (after choosing a level) a picture is a degenerate sliver.
constexpr double kMaxGradient = 1 << 20;

// a × (256 − f) + b × f, over 256 and rounded, on the four bytes at once: two 16-bit lanes in
// each half, none past 65408. For one pixel or, as vectors, for four.
template <typename T>
__attribute__((always_inline)) inline T Lerp(T a, T b, T f) {
  const T g = 256 - f;
  const T rb = (((a & 0xFF00FF) * g + (b & 0xFF00FF) * f + 0x800080) >> 8) & 0xFF00FF;
  const T ag = (((a >> 8) & 0xFF00FF) * g + ((b >> 8) & 0xFF00FF) * f + 0x800080) & 0xFF00FF00;
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

// Where a bilinear sample at fixed-point (u, v) reads: the integer part, shifted by half a texel
// beforehand, is the texel up and left of the sample. Texels past the edges repeat the edge texel.
struct Taps {
  uint32_t t00, t01, t10, t11, fx, fy;
};

inline Taps TapsAt(const TexelPlane& plane, int64_t u, int64_t v) {
  const int64_t i = u >> 32;
  const int64_t j = v >> 32;
  const int64_t last_x = plane.Width() - 1;
  const int64_t last_y = plane.Height() - 1;
  const auto i0 = static_cast<size_t>(std::clamp<int64_t>(i, 0, last_x));
  const auto i1 = static_cast<size_t>(std::clamp<int64_t>(i + 1, 0, last_x));
  const uint32_t* r0 = plane.Row(static_cast<int>(std::clamp<int64_t>(j, 0, last_y)));
  const uint32_t* r1 = plane.Row(static_cast<int>(std::clamp<int64_t>(j + 1, 0, last_y)));
  return {r0[i0], r0[i1], r1[i0], r1[i1], static_cast<uint32_t>(u >> 24) & 0xFF, static_cast<uint32_t>(v >> 24) & 0xFF};
}

// The same inside the picture, where (u, v) is known to have a texel on every side.
inline Taps TapsInside(const TexelPlane& plane, int64_t u, int64_t v) {
  const auto i = static_cast<size_t>(u >> 32);
  const uint32_t* r0 = plane.Row(static_cast<int>(v >> 32));
  const uint32_t* r1 = r0 + plane.Stride();
  return {r0[i], r0[i + 1], r1[i], r1[i + 1], static_cast<uint32_t>(u >> 24) & 0xFF, static_cast<uint32_t>(v >> 24) & 0xFF};
}

inline uint32_t Bilinear(const TexelPlane& plane, int64_t u, int64_t v) {
  const Taps t = TapsAt(plane, u, v);
  return Lerp(Lerp(t.t00, t.t01, t.fx), Lerp(t.t10, t.t11, t.fx), t.fy);
}

// Whole steps of kPixels samples along the row from x towards `end`, each at fixed-point (fu, fv)
// stepped on by (step_u, step_v): the reads one by one, the arithmetic for a step at once. Returns
// where the steps stopped, fu and fv moved on to there.
template <int kPixels>
__attribute__((always_inline)) inline int BilinearSteps(const TexelPlane& plane, int64_t& fu, int64_t& fv,
                                                        int64_t step_u, int64_t step_v, uint32_t* line, int x,
                                                        int end) {
  using Texels = typename PixelLanes<kPixels>::Texels;
  for (; x + kPixels <= end; x += kPixels) {
    Texels t00, t01, t10, t11, fx, fy;
    for (int k = 0; k < kPixels; ++k, fu += step_u, fv += step_v) {
      const Taps t = TapsInside(plane, fu, fv);
      t00[k] = t.t00, t01[k] = t.t01, t10[k] = t.t10, t11[k] = t.t11, fx[k] = t.fx, fy[k] = t.fy;
    }
    const Texels result = Lerp(Lerp(t00, t01, fx), Lerp(t10, t11, fx), fy);
    std::memcpy(line + x, &result, sizeof result);
  }
  return x;
}

using BilinearRun = int (*)(const TexelPlane& plane, int64_t& fu, int64_t& fv, int64_t step_u, int64_t step_v,
                            uint32_t* line, int x, int end);

int NarrowBilinear(const TexelPlane& plane, int64_t& fu, int64_t& fv, int64_t step_u, int64_t step_v, uint32_t* line,
                   int x, int end) {
  return BilinearSteps<4>(plane, fu, fv, step_u, step_v, line, x, end);
}

#if defined(__x86_64__)
// Eight samples a step in AVX2, which also multiplies 32-bit lanes in one instruction where SSE2
// takes several; built for it here and called only where the processor has it.
__attribute__((target("avx2"))) int WideBilinear(const TexelPlane& plane, int64_t& fu, int64_t& fv, int64_t step_u,
                                                 int64_t step_v, uint32_t* line, int x, int end) {
  return BilinearSteps<8>(plane, fu, fv, step_u, step_v, line, x, end);
}
#endif

BilinearRun ChooseBilinear() {
#if defined(__x86_64__)
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx2")) return WideBilinear;
#endif
  return NarrowBilinear;
}

// One texel axis seen from the frame: its level-0 coordinate at the pixel centre (px, py) is
// dx px + dy py + c; the picture spans [0, size) on it.
struct Axis {
  double dx, dy, c;
  double size;
  double margin;  // half a pixel, in texels across the edge
  double reach;   // pixels per texel across the edge
  double ratio;   // level texels per level-0 texel
  // Where samples have a level texel on either side, a little inside for the fixed point's sake.
  double inside_lo, inside_hi;
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
  int column_begin, column_end;  // the clip's
};

// Where the picture meets one row: pixels [begin, end) touched, [inner_begin, inner_end) fully
// covered with every tap inside the level; bu and bv are the texel coordinates at pixel 0's centre.
struct RowSpan {
  int begin = 0, end = 0, inner_begin = 0, inner_end = 0;
  double bu = 0, bv = 0;
};

RowSpan SpanOf(const Setup& s, int y) {
  const int first = s.column_begin, limit = s.column_end;
  RowSpan r;
  const double py = y + 0.5;
  r.bu = s.u.dx * 0.5 + s.u.dy * py + s.u.c;
  r.bv = s.v.dx * 0.5 + s.v.dy * py + s.v.c;
  const Range touch_u = Solve(s.u.dx, r.bu, -s.u.margin, s.u.size + s.u.margin);
  const Range touch_v = Solve(s.v.dx, r.bv, -s.v.margin, s.v.size + s.v.margin);
  r.begin = std::max(first, Clamped(std::floor(std::max(touch_u.first, touch_v.first)), limit) + 1);
  r.end = std::min(limit, Clamped(std::ceil(std::min(touch_u.last, touch_v.last)), limit));
  if (r.begin >= r.end) return RowSpan{};
  // Fully covered, and read without clamping.
  const Range full_u = Solve(s.u.dx, r.bu, std::max(s.u.margin, s.u.inside_lo), std::min(s.u.size - s.u.margin, s.u.inside_hi));
  const Range full_v = Solve(s.v.dx, r.bv, std::max(s.v.margin, s.v.inside_lo), std::min(s.v.size - s.v.margin, s.v.inside_hi));
  r.inner_begin = std::clamp(Clamped(std::ceil(std::max(full_u.first, full_v.first)), limit), r.begin, r.end);
  r.inner_end = std::clamp(Clamped(std::floor(std::min(full_u.last, full_v.last)), limit) + 1, r.inner_begin, r.end);
  return r;
}

// Samples pixels [from, to) of the row into `line`, scaling those in the outline band by their
// coverage. Coordinates start afresh from the row's exact values and then step in fixed point.
void SampleSpan(const Setup& s, const RowSpan& r, int from, int to, uint32_t* line) {
  int64_t fu = std::llround(((s.u.dx * from + r.bu) * s.u.ratio - 0.5) * kFixedOne);
  int64_t fv = std::llround(((s.v.dx * from + r.bv) * s.v.ratio - 0.5) * kFixedOne);
  const int64_t step_u = std::llround(s.u.dx * s.u.ratio * kFixedOne);
  const int64_t step_v = std::llround(s.v.dx * s.v.ratio * kFixedOne);
  auto edge = [&](int a, int b) {
    for (int x = a; x < b; ++x, fu += step_u, fv += step_v) {
      const uint32_t k = EdgeCoverage(s.u, s.v, s.u.dx * x + r.bu, s.v.dx * x + r.bv);
      line[x] = Scale(Bilinear(*s.plane, fu, fv), k);
    }
  };
  const int inner_begin = std::clamp(r.inner_begin, from, to);
  const int inner_end = std::clamp(r.inner_end, inner_begin, to);
  edge(from, inner_begin);
  int x = inner_begin;
  // Whole-texel steps from a texel centre (a right angle at 1:1): every sample is one texel.
  constexpr int64_t kFraction = 0xFFFFFFFF;
  if (((fu | fv | step_u | step_v) & kFraction) == 0) {
    for (; x < inner_end; ++x, fu += step_u, fv += step_v) line[x] = s.plane->Row(static_cast<int>(fv >> 32))[fu >> 32];
  }
  static const BilinearRun bilinear = ChooseBilinear();
  x = bilinear(*s.plane, fu, fv, step_u, step_v, line, x, inner_end);
  for (; x < inner_end; ++x, fu += step_u, fv += step_v) line[x] = Bilinear(*s.plane, fu, fv);
  edge(inner_end, to);
}

// Columns of this many pixels are drawn top to bottom one after the other: a turned picture is
// read across its rows, and a narrow column keeps the texels it reads in the cache.
constexpr int kColumnWidth = 64;

// The kernel is chosen once per draw. Opaque white copies the inside of the outline; the
// outline band, partly covered, is blended over.
template <BlendMode kMode, bool kPremultiplied>
void DrawRows(Frame& frame, const Setup& s, const Tint& tint) {
  std::vector<RowSpan> spans(static_cast<size_t>(s.row_end - s.row_begin));
  int left = frame.Width(), right = 0;
  for (int y = s.row_begin; y < s.row_end; ++y) {
    const RowSpan& r = spans[static_cast<size_t>(y - s.row_begin)] = SpanOf(s, y);
    if (r.begin < r.end) left = std::min(left, r.begin), right = std::max(right, r.end);
  }
  std::vector<uint32_t> line(static_cast<size_t>(frame.Width()));
  for (int column = left; column < right; column += kColumnWidth) {
    for (int y = s.row_begin; y < s.row_end; ++y) {
      const RowSpan& r = spans[static_cast<size_t>(y - s.row_begin)];
      const int begin = std::max(r.begin, column);
      const int end = std::min(r.end, column + kColumnWidth);
      if (begin >= end) continue;
      SampleSpan(s, r, begin, end, line.data());
      uint32_t* dst = frame.Span(y, begin, end) - begin;
      const uint32_t* src = line.data();
      if constexpr (kMode == BlendMode::kCopy) {
        const int inner_begin = std::clamp(r.inner_begin, begin, end);
        const int inner_end = std::clamp(r.inner_end, inner_begin, end);
        BlendRow<BlendMode::kOver, false, kPremultiplied>(dst + begin, src + begin, inner_begin - begin, tint);
        BlendRow<BlendMode::kCopy, false, kPremultiplied>(dst + inner_begin, src + inner_begin,
                                                          inner_end - inner_begin, tint);
        BlendRow<BlendMode::kOver, false, kPremultiplied>(dst + inner_end, src + inner_end, end - inner_end, tint);
      } else {
        BlendRow<kMode, false, kPremultiplied>(dst + begin, src + begin, end - begin, tint);
      }
    }
  }
}

template <bool kPremultiplied>
void DrawRows(Frame& frame, const Setup& s, uint32_t argb, bool opaque) {
  const Tint tint = MakeTint(argb);
  if (argb != 0xFFFFFFFF) {
    DrawRows<BlendMode::kTinted, kPremultiplied>(frame, s, tint);
  } else if (opaque) {
    DrawRows<BlendMode::kCopy, kPremultiplied>(frame, s, tint);
  } else {
    DrawRows<BlendMode::kOver, kPremultiplied>(frame, s, tint);
  }
}

Axis MakeAxis(double dx, double dy, double c, double size, int level_size) {
  const double gradient = std::hypot(dx, dy);
  const double ratio = level_size / size;
  constexpr double kSafety = 1.0 / 64;
  return Axis{dx, dy, c, size, 0.5 * gradient, 1 / gradient, ratio, (0.5 + kSafety) / ratio,
              (level_size - 0.5 - kSafety) / ratio};
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

void DrawAffine(const Surface& target, const Texture& texture, const Affine& m, uint32_t argb) {
  if ((argb >> 24) == 0 || target.Empty()) return;
  const double det = m.xx * m.yy - m.xy * m.yx;
  if (!std::isfinite(det) || det == 0 || !std::isfinite(m.x0) || !std::isfinite(m.y0)) return;
  // The inverse: texel coordinates of a frame point.
  const double ux = m.yy / det, uy = -m.xy / det, u0 = (m.xy * m.y0 - m.yy * m.x0) / det;
  const double vx = -m.yx / det, vy = m.xx / det, v0 = (m.yx * m.x0 - m.xx * m.y0) / det;
  if (!std::isfinite(ux + uy + u0 + vx + vy + v0)) return;

  const int level = ChooseLevel(texture, std::hypot(ux, uy), std::hypot(vx, vy));
  const TexelPlane& plane = texture.Level(level);
  Setup s{&plane,
          MakeAxis(ux, uy, u0, texture.Width(), plane.Width()), MakeAxis(vx, vy, v0, texture.Height(), plane.Height()),
          0, 0, target.clip.left, target.clip.right};
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
  const int height = target.clip.bottom;
  s.row_begin = std::max(target.clip.top, Clamped(std::floor(top - 1.5), height));
  s.row_end = std::min(height, Clamped(std::ceil(bottom + 1.5), height));
  if (s.row_begin >= s.row_end) return;
  if (target.premultiplied) {
    DrawRows<true>(*target.frame, s, argb, texture.Opaque());
  } else {
    DrawRows<false>(*target.frame, s, argb, texture.Opaque());
  }
}

bool SampleInside(bool wide, const TexelPlane& plane, int64_t u, int64_t v, int64_t step_u, int64_t step_v,
                  uint32_t* line, int count) {
  BilinearRun run = NarrowBilinear;
  if (wide && (run = ChooseBilinear()) == NarrowBilinear) return false;
  for (int x = run(plane, u, v, step_u, step_v, line, 0, count); x < count; ++x, u += step_u, v += step_v) {
    line[x] = Bilinear(plane, u, v);
  }
  return true;
}

Affine TurnedOnto(const Texture& texture, const Rect& rect, double degrees) {
  const double left = rect.left, top = rect.top, right = rect.right, bottom = rect.bottom;
  return PlaceTurned(left, top, (right - left) / texture.Width(), (bottom - top) / texture.Height(),
                     (left + right) / 2, (top + bottom) / 2, degrees);
}

}  // namespace talmora
