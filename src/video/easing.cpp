#include "video/easing.h"

#include <cmath>
#include <string>

#include "script/number_text.h"

namespace talmora {
namespace {

// One coordinate of the Bézier at curve parameter t, its end points 0 and 1.
double Bezier(double p1, double p2, double t) {
  const double u = 1 - t;
  return 3 * u * u * t * p1 + 3 * u * t * t * p2 + t * t * t;
}

double BezierSlope(double p1, double p2, double t) {
  const double u = 1 - t;
  return 3 * u * u * p1 + 6 * u * t * (p2 - p1) + 3 * t * t * (1 - p2);
}

// The curve parameter whose x is s. With x1 and x2 in [0, 1] x rises monotonically, so the
// bisection always finds it; Newton usually gets there in a few steps, but stalls where the
// curve is flat in x.
double SolveForX(const Ease& e, double s) {
  constexpr double kTolerance = 1e-9;
  double t = s;
  for (int i = 0; i < 8; ++i) {
    const double error = Bezier(e.x1, e.x2, t) - s;
    if (std::fabs(error) < kTolerance) return t;
    const double slope = BezierSlope(e.x1, e.x2, t);
    if (std::fabs(slope) < 1e-6) break;
    t -= error / slope;
    if (!(t >= 0 && t <= 1)) break;
  }
  double lo = 0, hi = 1;
  t = s;
  while (hi - lo > kTolerance) {
    t = (lo + hi) / 2;
    (Bezier(e.x1, e.x2, t) < s ? lo : hi) = t;
  }
  return (lo + hi) / 2;
}

// A number alone in its text, white space around it allowed.
std::optional<double> WholeNumber(std::string_view text) {
  const size_t first = text.find_first_not_of(" \t\r\n");
  const size_t last = text.find_last_not_of(" \t\r\n");
  if (first == std::string_view::npos) return std::nullopt;
  text = text.substr(first, last - first + 1);
  if (text.find_first_not_of("0123456789.eE+-") != std::string_view::npos) return std::nullopt;
  return ParseNumber(text);
}

}  // namespace

double Ease::Apply(double s) const {
  switch (kind) {
    case Kind::kLinear:
      return s;
    case Kind::kIn:
      return s * s * s;
    case Kind::kOut:
      return 1 - (1 - s) * (1 - s) * (1 - s);
    case Kind::kInOut:
      return s < 0.5 ? 4 * s * s * s : 1 - 4 * (1 - s) * (1 - s) * (1 - s);
    case Kind::kBezier:
      if (s <= 0 || s >= 1) return s;
      return Bezier(y1, y2, SolveForX(*this, s));
  }
  return s;
}

std::optional<Ease> ParseEase(std::string_view text) {
  static constexpr std::pair<std::string_view, Ease::Kind> kWords[] = {
      {"linear", Ease::Kind::kLinear}, {"in", Ease::Kind::kIn}, {"out", Ease::Kind::kOut},
      {"inout", Ease::Kind::kInOut}};
  for (const auto& [word, kind] : kWords) {
    if (text == word) return Ease{kind};
  }
  constexpr std::string_view kOpen = "cubic-bezier(";
  if (!text.starts_with(kOpen) || !text.ends_with(")")) return std::nullopt;
  text = text.substr(kOpen.size(), text.size() - kOpen.size() - 1);
  double p[4];
  for (int i = 0; i < 4; ++i) {
    const size_t comma = i < 3 ? text.find(',') : text.size();
    if (comma == std::string_view::npos) return std::nullopt;
    const auto value = WholeNumber(text.substr(0, comma));
    if (!value || !std::isfinite(*value)) return std::nullopt;
    p[i] = *value;
    text = text.substr(std::min(comma + 1, text.size()));
  }
  if (!(p[0] >= 0 && p[0] <= 1 && p[2] >= 0 && p[2] <= 1)) return std::nullopt;
  return Ease{Ease::Kind::kBezier, p[0], p[1], p[2], p[3]};
}

}  // namespace talmora
