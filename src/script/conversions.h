#pragma once

#include <cmath>
#include <cstdint>

namespace talmora {

// Truncation toward zero that is defined for every double: NaN gives 0, out-of-range values
// stop at the 32-bit limits.
inline int32_t SaturateToInt32(double value) {
  if (std::isnan(value)) return 0;
  if (value >= 2147483647.0) return INT32_MAX;
  if (value <= -2147483648.0) return INT32_MIN;
  return static_cast<int32_t>(value);
}

// A 0-to-1 colour value as an 8-bit channel: the low 8 bits of trunc(value * 255), unclamped,
// so 1.2 gives 50 and -0.1 gives 231. NaN and infinities give 0.
inline uint32_t ColourChannel(double value) {
  const double scaled = std::trunc(value * 255.0);
  if (!std::isfinite(scaled)) return 0;
  double low = std::fmod(scaled, 256.0);  // exact, also for magnitudes past 2^63
  if (low < 0) low += 256.0;
  return static_cast<uint32_t>(low);
}

inline uint32_t ArgbColour(double a, double r, double g, double b) {
  return ColourChannel(a) << 24 | ColourChannel(r) << 16 | ColourChannel(g) << 8 | ColourChannel(b);
}

}  // namespace talmora
