#pragma once

#include <cstdint>

#include "platform/render/draw_target.h"
#include "platform/text/coverage_mask.h"

namespace talmora {

// Blends the mask, its top-left corner at (x, y) on the target, in the ARGB colour: source
// alpha = coverage × colour alpha, then dst = src·src.a + dst·(1 − src.a) on all four channels,
// as the sprite blends pictures. Only pixels inside both the clip box and the surface's clip are
// touched.
void BlendMask(const Surface& target, const CoverageMask& mask, int64_t x, int64_t y, uint32_t argb, const PixelBox& clip);

// One row of `count` coverage bytes onto `dst` as BlendMask blends it, by the row four pixels a
// step that every x86-64 runs (`wide` false) or by the one eight pixels a step in AVX2; false, and
// nothing drawn, where the processor has no AVX2. So that the two can be held to the same bytes.
bool BlendCoverageRow(bool wide, uint32_t* dst, const uint8_t* coverage, int count, uint32_t argb, bool premultiplied);

}  // namespace talmora
