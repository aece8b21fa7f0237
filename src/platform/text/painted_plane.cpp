#include "platform/text/painted_plane.h"

#include <algorithm>
#include <numbers>

#include "platform/render/texture.h"

namespace talmora {
namespace {

double Channel(uint32_t argb, int shift) { return static_cast<double>((argb >> shift) & 0xFF) / 255.0; }

}  // namespace

PaintedPlane::PaintedPlane(int width, int height) : plane(width, height) {
  if (!plane.Valid()) return;
  for (int y = 0; y < height; ++y) std::fill_n(plane.Row(y), width, 0u);
  CairoSurfacePtr surface(cairo_image_surface_create_for_data(reinterpret_cast<unsigned char*>(plane.Row(0)),
                                                              CAIRO_FORMAT_ARGB32, width, height,
                                                              static_cast<int>(plane.Stride() * 4)));
  if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) return;
  CairoPtr made(cairo_create(surface.get()));
  if (cairo_status(made.get()) == CAIRO_STATUS_SUCCESS) cairo = std::move(made);
}

std::unique_ptr<Texture> PaintedPlane::Finish() {
  if (!cairo) return nullptr;
  cairo_surface_flush(cairo_get_target(cairo.get()));
  cairo.reset();
  return Texture::FromPremultiplied(std::move(plane));
}

void SetSource(cairo_t* cairo, uint32_t argb) {
  cairo_set_source_rgba(cairo, Channel(argb, 16), Channel(argb, 8), Channel(argb, 0), Channel(argb, 24));
}

void RoundedRectPath(cairo_t* cairo, double left, double top, double width, double height, double radius) {
  radius = std::clamp(radius, 0.0, std::min(width, height) / 2);
  if (!(radius > 0)) {
    cairo_rectangle(cairo, left, top, width, height);
    return;
  }
  constexpr double kQuarter = std::numbers::pi / 2;
  const double right = left + width, bottom = top + height;
  cairo_new_sub_path(cairo);
  cairo_arc(cairo, right - radius, top + radius, radius, -kQuarter, 0);
  cairo_arc(cairo, right - radius, bottom - radius, radius, 0, kQuarter);
  cairo_arc(cairo, left + radius, bottom - radius, radius, kQuarter, 2 * kQuarter);
  cairo_arc(cairo, left + radius, top + radius, radius, 2 * kQuarter, 3 * kQuarter);
  cairo_close_path(cairo);
}

}  // namespace talmora
