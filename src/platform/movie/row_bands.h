#pragma once

#include <functional>

namespace talmora {

// Runs `work(first_row, end_row)` over rows 0 to `rows` cut into horizontal bands, one a core,
// and returns when every band is done. Each band but the last starts and ends on a multiple of
// `align` (2 where rows go in pairs); bands run on threads of their own, the first on the
// caller's, so `work` must touch only its own rows of the output.
void ForEachBand(int rows, int align, const std::function<void(int first_row, int end_row)>& work);

}  // namespace talmora
