#include "platform/vector/vector_paint.h"

#include <librsvg/rsvg.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>
#include <numbers>

#include "platform/render/picture_decoder.h"
#include "platform/render/texture.h"

namespace talmora {
namespace {

// A vector file is markup: anything larger is no picture a script means.
constexpr std::streamoff kMaxVectorBytes = std::streamoff{16} << 20;

}  // namespace

std::unique_ptr<Texture> PaintShape(const ShapeStyle& style, int width, int height) {
  if (width <= 0 || height <= 0) return nullptr;
  PaintedPlane painted(width, height);
  if (!painted.Valid()) return nullptr;
  cairo_t* cairo = painted.cairo.get();
  // The stroke's middle runs half its width inside the box, so that all of it stays there.
  const double stroke = std::clamp(std::isfinite(style.stroke) ? style.stroke : 0.0, 0.0, std::min(width, height) / 2.0);
  const double inset = stroke / 2;
  const double w = width - stroke, h = height - stroke;
  if (style.form == ShapeForm::kEllipse) {
    cairo_save(cairo);
    cairo_translate(cairo, width / 2.0, height / 2.0);
    cairo_scale(cairo, std::max(w, 1e-9) / 2, std::max(h, 1e-9) / 2);
    cairo_arc(cairo, 0, 0, 1, 0, 2 * std::numbers::pi);
    cairo_restore(cairo);
  } else {
    const double radius = std::isfinite(style.radius) ? style.radius - inset : 0.0;
    RoundedRectPath(cairo, inset, inset, w, h, radius);
  }
  SetSource(cairo, style.fill);
  cairo_fill_preserve(cairo);
  if (stroke > 0) {
    SetSource(cairo, style.stroke_colour);
    cairo_set_line_width(cairo, stroke);
    cairo_stroke(cairo);
  }
  cairo_new_path(cairo);
  return painted.Finish();
}

struct VectorPicture::Handle {
  GObjectPtr<RsvgHandle> svg;
};

VectorPicture::VectorPicture(std::unique_ptr<Handle> handle) : handle_(std::move(handle)) {}

VectorPicture::~VectorPicture() = default;

Expected<std::unique_ptr<VectorPicture>> VectorPicture::Load(const std::string& path) {
  if (!IsRegularFile(path)) return Error{"not a regular file"};
  std::ifstream file(path, std::ios::binary | std::ios::ate);
  if (!file) return Error{"cannot be opened"};
  const std::streamoff size = file.tellg();
  if (size < 0 || size > kMaxVectorBytes) return Error{"larger than a vector picture may be"};
  file.seekg(0);
  std::string data(static_cast<size_t>(size), '\0');
  if (!file.read(data.data(), size)) return Error{"cannot be read"};
  // From memory and with no base file, a reference to another file or a URL has nothing to
  // resolve against: librsvg loads none of them.
  GError* error = nullptr;
  GObjectPtr<RsvgHandle> svg(
      rsvg_handle_new_from_data(reinterpret_cast<const guint8*>(data.data()), data.size(), &error));
  if (error) g_error_free(error);
  // The library's words span lines and change between its versions.
  if (!svg) return Error{"SVG として読めません"};
  auto handle = std::make_unique<Handle>();
  handle->svg = std::move(svg);
  return std::unique_ptr<VectorPicture>(new VectorPicture(std::move(handle)));
}

std::unique_ptr<Texture> VectorPicture::Paint(int width, int height) const {
  if (width <= 0 || height <= 0) return nullptr;
  PaintedPlane painted(width, height);
  if (!painted.Valid()) return nullptr;
  const RsvgRectangle viewport{0, 0, static_cast<double>(width), static_cast<double>(height)};
  GError* error = nullptr;
  // A picture that fails part way keeps what was painted.
  if (!rsvg_handle_render_document(handle_->svg.get(), painted.cairo.get(), &viewport, &error) && error) {
    g_error_free(error);
  }
  return painted.Finish();
}

bool IsVectorPicture(const std::string& path) {
  if (path.size() < 4) return false;
  std::string tail = path.substr(path.size() - 4);
  std::transform(tail.begin(), tail.end(), tail.begin(), [](unsigned char c) { return std::tolower(c); });
  return tail == ".svg";
}

}  // namespace talmora
