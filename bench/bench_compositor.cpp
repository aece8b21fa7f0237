// Times the sprite compositor: 640 × 360 pictures drawn onto a 1280 × 720 frame at 1:1, scaled up
// and shrunk, opaque and with alpha, plain and tinted; at one size (the resampled picture is
// reused) and zooming (resampled every draw); then turned, by our affine path and, for comparison,
// by pixman's bilinear affine compositing. Prints nanoseconds per draw and per covered pixel.
// Usage: bench_compositor [draws a round]
#include <algorithm>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <memory>

#ifdef TALMORA_BENCH_PIXMAN
#include <pixman.h>
#endif

#include <cmath>

#include "platform/render/canvas.h"
#include "platform/render/frame.h"
#include "platform/render/texel_plane.h"
#include "platform/render/texture.h"

namespace talmora {
namespace {

std::unique_ptr<Texture> Picture(bool alpha) {
  TexelPlane plane(640, 360);
  for (int y = 0; y < 360; ++y) {
    for (int x = 0; x < 640; ++x) {
      const uint32_t a = alpha ? static_cast<uint32_t>((x + y) % 256) : 255;
      plane.Row(y)[x] = a << 24 | (x % 256) << 16 | (y % 256) << 8 | ((x ^ y) & 0xFF);
    }
  }
  return Texture::FromStraightAlpha(std::move(plane));
}

double ThreadNanoseconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) * 1e9 + static_cast<double>(now.tv_nsec);
}

struct Case {
  const char* name;
  bool alpha;
  float scale;
  float x, y;
  uint32_t argb;
  bool zooming;  // a new size every draw, so nothing resampled can be reused
};

// The thread's processor time per call of `draw`, best of five rounds.
template <typename Draw>
double Time(int iterations, Draw&& draw) {
  draw(0);  // warm-up
  // The machine is shared: the thread's own processor time, best of several rounds, is the figure
  // least disturbed by others.
  double ns = 1e300;
  for (int round = 0; round < 5; ++round) {
    const double start = ThreadNanoseconds();
    for (int i = 0; i < iterations; ++i) draw(i);
    ns = std::min(ns, (ThreadNanoseconds() - start) / iterations);
  }
  return ns;
}

struct TurnCase {
  const char* name;
  bool alpha;
  double degrees;
  uint32_t argb;
  bool turning;  // a new angle every draw
};

#ifdef TALMORA_BENCH_PIXMAN
// The same drawing through pixman: the premultiplied picture as source, the colour as a
// component-alpha mask, over the frame (which pixman takes as premultiplied).
double TimePixman(const TurnCase& c, const Texture& texture, Frame& frame, const Rect& rect, int iterations) {
  const TexelPlane& plane = texture.Level(0);
  pixman_image_t* source = pixman_image_create_bits(PIXMAN_a8r8g8b8, plane.Width(), plane.Height(),
                                                    const_cast<uint32_t*>(plane.Row(0)), plane.Width() * 4);
  pixman_image_t* target = pixman_image_create_bits(PIXMAN_a8r8g8b8, frame.Width(), frame.Height(), frame.Row(0),
                                                    frame.Width() * 4);
  const uint32_t a = c.argb >> 24;
  auto channel = [&](int shift) { return static_cast<uint16_t>(((c.argb >> shift) & 0xFF) * a * 0x101 / 255); };
  const pixman_color_t colour{channel(16), channel(8), channel(0), static_cast<uint16_t>(a * 0x101)};
  pixman_image_t* mask = c.argb == 0xFFFFFFFF ? nullptr : pixman_image_create_solid_fill(&colour);
  if (mask) pixman_image_set_component_alpha(mask, 1);
  pixman_image_set_filter(source, PIXMAN_FILTER_BILINEAR, nullptr, 0);
  const double ns = Time(iterations, [&](int i) {
    const double degrees = c.degrees + (c.turning && i % 2 ? 0.01 : 0);
    const Affine m = PlaceTurned(rect.left, rect.top, 1, 1, (rect.left + rect.right) / 2.0,
                                 (rect.top + rect.bottom) / 2.0, degrees);
    // pixman maps frame points to picture points: the inverse.
    const double det = m.xx * m.yy - m.xy * m.yx;
    pixman_f_transform inverse{};
    inverse.m[0][0] = m.yy / det, inverse.m[0][1] = -m.xy / det, inverse.m[0][2] = (m.xy * m.y0 - m.yy * m.x0) / det;
    inverse.m[1][0] = -m.yx / det, inverse.m[1][1] = m.xx / det, inverse.m[1][2] = (m.yx * m.x0 - m.xx * m.y0) / det;
    inverse.m[2][2] = 1;
    pixman_transform_t fixed;
    pixman_transform_from_pixman_f_transform(&fixed, &inverse);
    pixman_image_set_transform(source, &fixed);
    // Only the turned picture's bounding box, as our path clips.
    double box[4] = {1e9, 1e9, -1e9, -1e9};
    for (const double u : {0.0, 1.0 * plane.Width()}) {
      for (const double v : {0.0, 1.0 * plane.Height()}) {
        const double x = m.xx * u + m.xy * v + m.x0, y = m.yx * u + m.yy * v + m.y0;
        box[0] = std::min(box[0], x), box[1] = std::min(box[1], y);
        box[2] = std::max(box[2], x), box[3] = std::max(box[3], y);
      }
    }
    const int left = std::max(0, static_cast<int>(std::floor(box[0])));
    const int top = std::max(0, static_cast<int>(std::floor(box[1])));
    const int right = std::min(frame.Width(), static_cast<int>(std::ceil(box[2])));
    const int bottom = std::min(frame.Height(), static_cast<int>(std::ceil(box[3])));
    pixman_image_composite32(PIXMAN_OP_OVER, source, mask, target, left, top, 0, 0, left, top, right - left,
                             bottom - top);
  });
  if (mask) pixman_image_unref(mask);
  pixman_image_unref(target);
  pixman_image_unref(source);
  return ns;
}
#endif

void RunTurned(const TurnCase& c, const Texture& texture, Frame& frame, int iterations) {
  const Rect rect{320, 180, 960, 540};
  frame.Clear(0xFF101820);
  Canvas canvas(frame);
  const double ns = Time(iterations, [&](int i) {
    canvas.DrawTurnedTexture(texture, rect, c.degrees + (c.turning && i % 2 ? 0.01 : 0), c.argb);
  });
  const double pixels = 640.0 * 360.0;
  std::printf("%-34s %10.0f ns/draw %7.2f ns/pixel", c.name, ns, ns / pixels);
#ifdef TALMORA_BENCH_PIXMAN
  const double theirs = TimePixman(c, texture, frame, rect, iterations);
  std::printf("   pixman %10.0f ns/draw %7.2f ns/pixel", theirs, theirs / pixels);
#endif
  std::printf("\n");
}

void Run(const Case& c, const Texture& texture, Frame& frame, int iterations) {
  Canvas canvas(frame);
  frame.Clear(0xFF101820);
  canvas.DrawTexture(texture, c.scale, c.scale, c.x, c.y, c.argb);  // warm-up
  // The machine is shared: the thread's own processor time, best of several rounds, is the figure
  // least disturbed by others.
  double ns = 1e300;
  for (int round = 0; round < 5; ++round) {
    const double start = ThreadNanoseconds();
    for (int i = 0; i < iterations; ++i) {
      const float scale = c.zooming ? c.scale * (i % 2 ? 1.0001f : 1.0f) : c.scale;
      canvas.DrawTexture(texture, scale, scale, c.x, c.y, c.argb);
    }
    ns = std::min(ns, (ThreadNanoseconds() - start) / iterations);
  }
  const double pixels = std::max(1.0, 640.0 * c.scale * 360.0 * c.scale);
  std::printf("%-34s %10.0f ns/draw %7.2f ns/pixel\n", c.name, ns, ns / pixels);
}

}  // namespace
}  // namespace talmora

int main(int argc, char** argv) {
  using namespace talmora;
  const int iterations = argc > 1 ? std::max(1, std::atoi(argv[1])) : 50;
  auto frame = Frame::Create(1280, 720);
  auto opaque = Picture(false);
  auto alpha = Picture(true);
  const Case cases[] = {
      {"1:1 opaque", false, 1, 100, 100, 0xFFFFFFFF, false},
      {"1:1 alpha", true, 1, 100, 100, 0xFFFFFFFF, false},
      {"1:1 opaque, faded", false, 1, 100, 100, 0x80FFFFFF, false},
      {"1:1 alpha, tinted", true, 1, 100, 100, 0xC0FF8040, false},
      {"1:1 alpha, mirrored", true, -1, 740, 460, 0xFFFFFFFF, false},
      {"x1.5 opaque (960x540)", false, 1.5f, 100, 100, 0xFFFFFFFF, false},
      {"x1.5 alpha, tinted", true, 1.5f, 100, 100, 0xC0FF8040, false},
      {"x1.5 opaque, zooming", false, 1.5f, 100, 100, 0xFFFFFFFF, true},
      {"x1.5 alpha, tinted, zooming", true, 1.5f, 100, 100, 0xC0FF8040, true},
      {"x2 opaque (1280x720), zooming", false, 2, 0, 0, 0xFFFFFFFF, true},
      {"x0.5 opaque (320x180), zooming", false, 0.5f, 100, 100, 0xFFFFFFFF, true},
      {"x0.3 alpha (192x108), zooming", true, 0.3f, 100, 100, 0xFFFFFFFF, true},
      {"x1.5 half outside, zooming", false, 1.5f, 800, 400, 0xFFFFFFFF, true},
      {"far outside the frame", false, 1.5f, 5000, 100, 0xFFFFFFFF, true},
  };
  std::printf("compositing 640x360 pictures onto a 1280x720 frame, %d draws a round, best of 5 rounds\n", iterations);
  for (const Case& c : cases) Run(c, c.alpha ? *alpha : *opaque, *frame, iterations);
  const TurnCase turned[] = {
      {"turned 30, opaque", false, 30, 0xFFFFFFFF, true},
      {"turned 30, alpha", true, 30, 0xFFFFFFFF, true},
      {"turned 30, alpha, tinted", true, 30, 0xC0FF8040, true},
      {"turned 90, opaque", false, 90, 0xFFFFFFFF, false},
  };
  std::printf("turned 640x360 pictures about the frame's centre\n");
  for (const TurnCase& c : turned) RunTurned(c, c.alpha ? *alpha : *opaque, *frame, iterations);
  return 0;
}
