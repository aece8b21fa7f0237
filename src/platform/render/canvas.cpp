#include "platform/render/canvas.h"

#include <algorithm>
#include <cmath>

#include "platform/render/blend_row.h"
#include "platform/render/texture.h"

namespace talmora {
namespace {

// The pixels whose centres lie within [a, b) (either way round) on one axis, inside [first, limit).
bool CentresInside(double a, double b, int first, int limit, int& begin, int& end) {
  const double lo = std::ceil(std::min(a, b) - 0.5);
  const double hi = std::ceil(std::max(a, b) - 0.5);
  if (!std::isfinite(lo) || !std::isfinite(hi)) return false;
  begin = static_cast<int>(std::clamp(lo, 1.0 * first, 1.0 * limit));
  end = static_cast<int>(std::clamp(hi, 1.0 * first, 1.0 * limit));
  return begin < end;
}

// Blends `rows` of `source` (premultiplied) onto the surface, column `x` of row `y` first, in white
// of the given alpha.
template <bool kPremultiplied>
void Composite(Frame& target, int x, int y, const Frame& source, uint32_t alpha) {
  const Tint tint = MakeTint(alpha << 24 | 0xFFFFFF);
  for (int row = 0; row < source.Height(); ++row) {
    if (alpha == 255) {
      BlendRow<BlendMode::kOver, false, kPremultiplied>(target.Span(y + row, x, x + source.Width()), source.Row(row),
                                                      source.Width(), tint);
    } else {
      BlendRow<BlendMode::kTinted, false, kPremultiplied>(target.Span(y + row, x, x + source.Width()), source.Row(row),
                                                          source.Width(), tint);
    }
  }
}

}  // namespace

uint32_t WithOpacity(uint32_t argb, uint32_t opacity) {
  if (opacity == 255) return argb;
  return Div255((argb >> 24) * opacity) << 24 | (argb & 0xFFFFFF);
}

Canvas::Canvas(Frame& frame) : frame_(frame) {
  states_.push_back(State{Affine{}, 255, Rect{0, 0, frame.Width(), frame.Height()}, false});
}

Canvas::Canvas(Frame& frame, uint32_t background) : Canvas(frame) {
  background_ = background;
  frame.OweBackground(background);
  owes_background_ = untouched_ = true;
}

Canvas::~Canvas() {
  while (states_.size() > 1) Restore();
  if (owes_background_) frame_.SettleBackground();
}

void Canvas::Save() {
  State copy = states_.back();
  copy.opens_layer = false;
  states_.push_back(copy);
}

bool Canvas::SaveLayer(uint32_t opacity) {
  untouched_ = false;
  Save();
  State& state = states_.back();
  state.opens_layer = true;
  const Rect& clip = state.clip;
  Layer layer{Frame::Create(clip.right - clip.left, clip.bottom - clip.top), clip,
              WithOpacity(std::min<uint32_t>(opacity, 255) << 24, state.opacity) >> 24};
  const bool made = layer.pixels || clip.left >= clip.right || clip.top >= clip.bottom;
  if (layer.pixels) {
    layer.pixels->Clear(0);
    state.opacity = 255;
  } else {
    state.opacity = layer.opacity;
  }
  layers_.push_back(std::move(layer));
  return made;
}

void Canvas::Restore() {
  if (states_.size() <= 1) return;
  const bool opens_layer = states_.back().opens_layer;
  states_.pop_back();
  if (!opens_layer) return;
  const Layer layer = std::move(layers_.back());
  layers_.pop_back();
  if (!layer.pixels || layer.opacity == 0) return;
  // The clip restored is the one the layer was cut to.
  const Surface below = CurrentSurface();
  const int x = below.clip.left, y = below.clip.top;
  if (below.premultiplied) {
    Composite<true>(*below.frame, x, y, *layer.pixels, layer.opacity);
  } else {
    Composite<false>(*below.frame, x, y, *layer.pixels, layer.opacity);
  }
}

void Canvas::Concat(const Affine& first) { states_.back().transform = Then(first, states_.back().transform); }

void Canvas::Rotate(double degrees) { Concat(PlaceTurned(0, 0, 1, 1, 0, 0, degrees)); }

void Canvas::MultiplyOpacity(uint32_t opacity) {
  states_.back().opacity = WithOpacity(states_.back().opacity << 24, std::min<uint32_t>(opacity, 255)) >> 24;
}

void Canvas::ClipRect(double left, double top, double right, double bottom) {
  State& state = states_.back();
  const Affine& m = state.transform;
  double x_lo = HUGE_VAL, x_hi = -HUGE_VAL, y_lo = HUGE_VAL, y_hi = -HUGE_VAL;
  for (const double u : {left, right}) {
    for (const double v : {top, bottom}) {
      const double x = m.xx * u + m.xy * v + m.x0, y = m.yx * u + m.yy * v + m.y0;
      x_lo = std::min(x_lo, x), x_hi = std::max(x_hi, x), y_lo = std::min(y_lo, y), y_hi = std::max(y_hi, y);
    }
  }
  Rect& clip = state.clip;
  Rect narrowed;
  if (CentresInside(x_lo, x_hi, clip.left, clip.right, narrowed.left, narrowed.right) &&
      CentresInside(y_lo, y_hi, clip.top, clip.bottom, narrowed.top, narrowed.bottom)) {
    clip = narrowed;
  } else {
    clip = Rect{};
  }
}

Surface Canvas::CurrentSurface() const {
  const Rect& clip = states_.back().clip;
  for (auto layer = layers_.rbegin(); layer != layers_.rend(); ++layer) {
    if (!layer->pixels) continue;
    if (clip.left >= clip.right || clip.top >= clip.bottom) return Surface{layer->pixels.get(), Rect{}, true};
    const int x = layer->bounds.left, y = layer->bounds.top;
    return Surface{layer->pixels.get(), Rect{clip.left - x, clip.top - y, clip.right - x, clip.bottom - y}, true};
  }
  return Surface{&frame_, clip, false};
}

Affine Canvas::ToSurface() const {
  for (auto layer = layers_.rbegin(); layer != layers_.rend(); ++layer) {
    if (!layer->pixels) continue;
    return Then(states_.back().transform, Affine{1, 0, -1.0 * layer->bounds.left, 0, 1, -1.0 * layer->bounds.top});
  }
  return states_.back().transform;
}

DrawTarget Canvas::Target() {
  untouched_ = false;
  return DrawTarget{CurrentSurface(), ToSurface(), states_.back().opacity};
}

void Canvas::DrawTexture(const Texture& texture, float sx, float sy, float tx, float ty, uint32_t argb) {
  const Surface surface = CurrentSurface();
  argb = WithOpacity(argb, states_.back().opacity);
  const Affine m = ToSurface();
  if (m.AxisAligned() && !m.Identity()) {
    sx = static_cast<float>(m.xx * sx), sy = static_cast<float>(m.yy * sy);
    tx = static_cast<float>(m.xx * tx + m.x0), ty = static_cast<float>(m.yy * ty + m.y0);
  }
  if (m.AxisAligned()) {
    sprite_.SetTransform(sx, sy, tx, ty);
  } else {
    untouched_ = false;
    DrawAffine(surface, texture, Then(Affine{sx, 0, tx, 0, sy, ty}, m), argb);
    return;
  }
  // A picture that replaces the whole frame leaves nothing of the background to fill.
  const bool replaces = untouched_ && surface.frame == &frame_ && sprite_.Replaces(surface, texture, argb) &&
                        surface.clip.left == 0 && surface.clip.top == 0 && surface.clip.right == frame_.Width() &&
                        surface.clip.bottom == frame_.Height();
  untouched_ = false;
  if (replaces) {
    // A picture still to be written, exactly the frame, is written there and not copied: rows laid
    // out as its own would be (64-byte strides) come out the same.
    if (texture.Later() && sx == 1 && sy == 1 && tx == 0 && ty == 0 && texture.Width() == frame_.Width() &&
        texture.Height() == frame_.Height() && frame_.Width() % 16 == 0 &&
        texture.FillInto(reinterpret_cast<uint8_t*>(frame_.Whole()), frame_.Width() * 4)) {
      return;
    }
    frame_.ForgiveBackground();
    if (!sprite_.Draw(surface, texture, argb)) frame_.Clear(background_);
    return;
  }
  sprite_.Draw(surface, texture, argb);
}

void Canvas::DrawTurnedTexture(const Texture& texture, const Rect& rect, double degrees, uint32_t argb) {
  untouched_ = false;
  const Affine place = TurnedOnto(texture, rect, degrees);
  const Affine m = ToSurface();
  DrawAffine(CurrentSurface(), texture, m.Identity() ? place : Then(place, m), WithOpacity(argb, states_.back().opacity));
}

void Canvas::FillRect(double left, double top, double right, double bottom, uint32_t argb) {
  untouched_ = false;
  const Surface surface = CurrentSurface();
  argb = WithOpacity(argb, states_.back().opacity);
  if ((argb >> 24) == 0 || surface.Empty()) return;
  const Affine m = ToSurface();
  if (!m.AxisAligned()) {
    if (const Texture* white = White()) {
      DrawAffine(surface, *white,
                 Then(Affine{(right - left) / white->Width(), 0, left, 0, (bottom - top) / white->Height(), top}, m),
                 argb);
    }
    return;
  }
  Rect r;
  if (!CentresInside(m.xx * left + m.x0, m.xx * right + m.x0, surface.clip.left, surface.clip.right, r.left, r.right) ||
      !CentresInside(m.yy * top + m.y0, m.yy * bottom + m.y0, surface.clip.top, surface.clip.bottom, r.top, r.bottom)) {
    return;
  }
  const int count = r.right - r.left;
  Frame& frame = *surface.frame;
  if ((argb >> 24) == 255) {
    // Opaque, the colour is the pixel on either kind of surface.
    for (int y = r.top; y < r.bottom; ++y) std::fill_n(frame.Span(y, r.left, r.right, true), count, argb);
    return;
  }
  const std::vector<uint32_t> white(static_cast<size_t>(count), 0xFFFFFFFF);
  const Tint tint = MakeTint(argb);
  for (int y = r.top; y < r.bottom; ++y) {
    if (surface.premultiplied) {
      BlendRow<BlendMode::kTinted, false, true>(frame.Span(y, r.left, r.right), white.data(), count, tint);
    } else {
      BlendRow<BlendMode::kTinted, false, false>(frame.Span(y, r.left, r.right), white.data(), count, tint);
    }
  }
}

const Texture* Canvas::White() {
  // Wide enough that most of a turned fill is read without clamping at the edges.
  constexpr int kSide = 16;
  if (!white_) {
    TexelPlane plane(kSide, kSide);
    if (!plane.Valid()) return nullptr;
    for (int y = 0; y < kSide; ++y) std::fill_n(plane.Row(y), kSide, 0xFFFFFFFFu);
    white_ = Texture::FromStraightAlpha(std::move(plane));
  }
  return white_.get();
}

}  // namespace talmora
