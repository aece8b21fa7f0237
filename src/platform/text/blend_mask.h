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

}  // namespace talmora
