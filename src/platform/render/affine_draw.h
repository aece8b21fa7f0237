#pragma once

#include <cstdint>

#include "platform/render/frame.h"

namespace talmora {

class Texture;

// Where texel coordinates land on the frame: (u, v) goes to (xx u + xy v + x0, yx u + yy v + y0).
// Texel k spans [k, k + 1), so the picture is [0, width) × [0, height).
struct Affine {
  double xx = 1, xy = 0, x0 = 0;
  double yx = 0, yy = 1, y0 = 0;
};

// Whether a turn of `degrees` changes anything: whole turns draw as no turn at all.
bool IsTurned(double degrees);

// Texel (u, v) placed at (left + sx u, top + sy v), then turned by `degrees` clockwise (as on
// screen, y pointing down) about (cx, cy). Right angles turn exactly, without rounding noise.
Affine PlaceTurned(double left, double top, double sx, double sy, double cx, double cy, double degrees);

// Draws the texture through the transform, blended and tinted as Sprite::Draw blends: texels
// are sampled bilinearly (from a smaller level where the picture is shrunk), and each pixel
// near the picture's outline is covered by how far its centre lies inside, over one pixel, so
// that turned edges are smooth. Only pixels the picture reaches are touched.
void DrawAffine(Frame& target, const Texture& texture, const Affine& to_frame, uint32_t argb);

// The texture stretched onto the rectangle (mirrored where it is reversed), turned about the
// rectangle's centre.
void DrawTurned(Frame& target, const Texture& texture, const Rect& rect, double degrees, uint32_t argb);

}  // namespace talmora
