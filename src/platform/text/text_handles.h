#pragma once

#include <cairo.h>
#include <fontconfig/fontconfig.h>
#include <glib-object.h>
#include <pango/pango.h>

#include <memory>

namespace talmora {

// One owner for every Pango, Cairo and fontconfig object: each alias frees with the library's
// own release function.
template <auto Release>
struct ReleaseWith {
  template <typename T>
  void operator()(T* handle) const { Release(handle); }
};

template <typename T>
using GObjectPtr = std::unique_ptr<T, ReleaseWith<g_object_unref>>;
using FontDescriptionPtr = std::unique_ptr<PangoFontDescription, ReleaseWith<pango_font_description_free>>;
using CairoPtr = std::unique_ptr<cairo_t, ReleaseWith<cairo_destroy>>;
using CairoSurfacePtr = std::unique_ptr<cairo_surface_t, ReleaseWith<cairo_surface_destroy>>;
using CairoFontOptionsPtr = std::unique_ptr<cairo_font_options_t, ReleaseWith<cairo_font_options_destroy>>;
using FcPatternPtr = std::unique_ptr<FcPattern, ReleaseWith<FcPatternDestroy>>;
using FcObjectSetPtr = std::unique_ptr<FcObjectSet, ReleaseWith<FcObjectSetDestroy>>;
using FcFontSetPtr = std::unique_ptr<FcFontSet, ReleaseWith<FcFontSetDestroy>>;

}  // namespace talmora
