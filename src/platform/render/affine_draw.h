#pragma once

#include <cstdint>

#include "platform/render/draw_target.h"

namespace talmora {

class TexelPlane;
class Texture;

// Whether a turn of `degrees` changes anything: whole turns draw as no turn at all.
bool IsTurned(double degrees);

// Texel (u, v) placed at (left + sx u, top + sy v), then turned by `degrees` clockwise (as on
// screen, y pointing down) about (cx, cy). Right angles turn exactly, without rounding noise.
Affine PlaceTurned(double left, double top, double sx, double sy, double cx, double cy, double degrees);

// Draws the texture through the transform from texel coordinates (texel k spans [k, k + 1), so
// the picture is [0, width) × [0, height)) onto the surface, inside its clip, blended and tinted
// as Sprite::Draw blends: texels are sampled bilinearly (from a smaller level where the picture
// is shrunk), and each pixel near the picture's outline is covered by how far its centre lies
// inside, over one pixel, so that turned edges are smooth. Only pixels the picture reaches are
// touched.
void DrawAffine(const Surface& target, const Texture& texture, const Affine& to_frame, uint32_t argb);

// Where the texture's texels land when it is stretched onto the rectangle (mirrored where it is
// reversed) and turned about the rectangle's centre.
Affine TurnedOnto(const Texture& texture, const Rect& rect, double degrees);

// `count` bilinear samples of the plane into `line`, the first at 32.32 fixed-point texel
// coordinates (u, v) and each next one (step_u, step_v) on, every one with a texel right of and
// below it: as DrawAffine samples inside a picture, four samples a step as every x86-64 can
// (`wide` false) or eight in AVX2; false, and nothing sampled, where the processor has no AVX2.
bool SampleInside(bool wide, const TexelPlane& plane, int64_t u, int64_t v, int64_t step_u, int64_t step_v,
                  uint32_t* line, int count);

}  // namespace talmora
