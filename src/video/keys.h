#pragma once

#include <map>
#include <span>
#include <string_view>
#include <utility>
#include <vector>

#include "script/attribute_map.h"
#include "script/script_context.h"
#include "video/track.h"

namespace talmora {

// A value a key names for one track, before it is placed on it.
struct KeyStop {
  double value = 0.0;
  Ease ease;
  bool own = false;  // the element's own key rather than its template's
};

// One track's stops, by their seconds into the window.
using KeyStops = std::map<double, KeyStop>;

// Reads the "key" elements `keys` (as Object::KeyTags lists them) into stops for the tracks
// called `names`, one KeyStops each in that order. `span` is the window's length in seconds
// (infinite while it is not known yet); a key's `ease` defaults to `pacing`. Each problem is
// reported at its key's line, and the key or the value it concerns is left out.
std::vector<KeyStops> ReadKeyStops(ScriptContext& context, std::span<const std::pair<const ScriptTag*, bool>> keys,
                                   double span, const Ease& pacing, std::span<const std::string_view> names);

// `track` with `stops` laid on it, for a window `span` seconds long: the start value, the stops,
// and the end value when `end_given`, else the last stop's held to the end. Stops past the window
// are left out. With no stops within the window, `track` itself.
Track WithStops(const Track& track, const KeyStops& stops, double span, bool end_given, const Ease& pacing);

}  // namespace talmora
