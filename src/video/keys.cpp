#include "video/keys.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "app/object_kinds.h"
#include "platform/console/reporter.h"
#include "script/number_text.h"
#include "script/property_readers.h"

namespace talmora {
namespace {

// Says a key's problem, at the key's line.
void NoteKey(ScriptContext& context, const ScriptTag& key, const std::string& name, const std::string& words) {
  const auto found = key.attributes.find(name);
  const std::string text = found != key.attributes.end() ? found->second : std::string();
  if (context.reporter.Refused({name, text, Expectation::kNumber, std::nullopt, {}, words, key.line})) {
    context.outcome.NoteFailed();
  }
}

}  // namespace

std::vector<KeyStops> ReadKeyStops(ScriptContext& context, std::span<const std::pair<const ScriptTag*, bool>> keys,
                                   double span, const Ease& pacing, std::span<const std::string_view> names) {
  std::vector<KeyStops> stops(names.size());
  for (const auto& [key, mine] : keys) {
    std::string text;
    if (!FindAttribute(key->attributes, "at", text)) {
      NoteKey(context, *key, "at", "key に at がありません: 無視します");
      continue;
    }
    const auto at = ParseNumber(text);
    if (!at) {
      NoteKey(context, *key, "at", "属性 at の値 [" + text + "] は読めません (数値が必要です): この key は無視します");
      continue;
    }
    if (!(*at >= 0.0 && *at <= span)) {
      // An endless sound's window has no end yet.
      const std::string window = std::isinf(span) ? "0 秒から" : "0 から " + Shortest(std::max(span, 0.0)) + " 秒";
      NoteKey(context, *key, "at", "at " + Shortest(*at) + " 秒は表示時間 (" + window + ") の外です: この key は無視します");
      continue;
    }
    Ease ease = pacing;
    if (FindAttribute(key->attributes, "ease", text)) {
      if (const auto parsed = ParseEase(text)) {
        ease = *parsed;
      } else {
        NoteKey(context, *key, "ease", "属性 ease の値 [" + text + "] は読めません: 要素の ease で動きます");
      }
    }
    for (const auto& [name, value] : key->attributes) {
      if (name == "at" || name == "ease") continue;
      const auto keyed = std::find(names.begin(), names.end(), name);
      if (keyed == names.end()) {
        if (IsKnownAttribute(*ChildKind("template"), name)) {
          NoteKey(context, *key, name, "属性 " + name + " は key では動かせません: 無視します");
        } else {
          const auto nearest = NearestName(name, AttributeNames(KeyKind()));
          NoteKey(context, *key, name,
                  "属性 " + name + " は key では読まれません" +
                      (nearest ? " (" + std::string(*nearest) + " の誤りでは?)" : std::string()));
        }
        continue;
      }
      const auto number = ParseNumber(value);
      if (!number) {
        NoteKey(context, *key, name, "属性 " + name + " の値 [" + value + "] は読めません (数値が必要です)");
        continue;
      }
      KeyStops& track_stops = stops[static_cast<size_t>(keyed - names.begin())];
      const auto [placed, fresh] = track_stops.try_emplace(*at, KeyStop{*number, ease, mine});
      if (fresh) continue;
      // The element's own key overrides its template's at the same time; within one, the later wins.
      if (placed->second.own == mine) {
        NoteKey(context, *key, name, "at " + Shortest(*at) + " 秒の " + name + " が2度あります: 後の値を使います");
      }
      placed->second = KeyStop{*number, ease, mine};
    }
  }
  return stops;
}

Track WithStops(const Track& track, const KeyStops& stops, double span, bool end_given, const Ease& pacing) {
  if (stops.empty() || stops.begin()->first > span) return track;
  std::vector<Key> moved{{0.0, track.First(), pacing}};
  for (const auto& [at, stop] : stops) {
    if (at > span) break;
    const double fraction = span > 0.0 ? at / span : 0.0;
    // A key at the start replaces the start value; two times a division apart are one key.
    if (fraction <= moved.back().at) {
      moved.back() = {moved.back().at, stop.value, stop.ease};
    } else {
      moved.push_back({fraction, stop.value, stop.ease});
    }
  }
  if (moved.back().at < 1.0) {
    // Without an end value of its own the last key holds to the end.
    moved.push_back({1.0, end_given ? track.Last() : moved.back().value, pacing});
  }
  return Track(moved);
}

}  // namespace talmora
