#include "app/object_kinds.h"

#include <algorithm>
#include <string>

#include "audio/sound.h"
#include "audio/sound_maker.h"
#include "video/captions.h"
#include "video/image.h"
#include "video/shape.h"
#include "video/text.h"

namespace talmora {
namespace {

using enum ValueType;
using enum Motion;

// As ParseEase reads them.
constexpr std::string_view kEaseForms[] = {"linear", "in", "out", "inout", "cubic-bezier(x1, y1, x2, y2)"};

// Read by every timed object.
constexpr Attribute kTimedRows[] = {
    {"time", kTime}, {"duration", kTime}, {"timeend", kTime}, {"template", kText},
};
// Read by every drawn object.
constexpr Attribute kDrawnRows[] = {
    {"left", kNumber, kToEnd},   {"right", kNumber, kToEnd},  {"top", kNumber, kToEnd},
    {"bottom", kNumber, kToEnd}, {"x", kNumber, kToEnd},      {"y", kNumber, kToEnd},
    {"width", kNumber, kToEnd},  {"height", kNumber, kToEnd}, {"z", kNumber, kToEnd},
    {"r", kColour, kToEnd, {}, 0, 1},
    {"g", kColour, kToEnd, {}, 0, 1},
    {"b", kColour, kToEnd, {}, 0, 1},
    {"a", kColour, kToEnd, {}, 0, 1},
    {"angle", kNumber, kToEnd},
    {"fadein", kTime},
    {"fadeout", kTime},
    {"ease", kEase, kPacing, kEaseForms},
};
constexpr Attribute kImageRows[] = {
    {"src", kFile}, {"clipstart", kTime}, {"cliploop", kFlag}, {"clipspeed", kNumber},
};
constexpr Attribute kTextRows[] = {
    {"sentence", kText}, {"fontsize", kInteger}, {"weight", kNumber},     {"italic", kFlag},
    {"face", kText},     {"singleline", kFlag},  {"wordbreak", kFlag},
    {"align", kWord, kFixed, kAlignWords},
    {"valign", kWord, kFixed, kVAlignWords},
};
constexpr Attribute kShapeRows[] = {
    {"fill", kPaint}, {"stroke", kNumber, kToEnd}, {"strokecolor", kPaint},
};
constexpr Attribute kCornerRows[] = {{"radius", kNumber, kToEnd}};
constexpr Attribute kTextStyleRows[] = {
    {"outline", kNumber, kToEnd},    {"outlinecolor", kPaint},         {"shadowx", kNumber, kToEnd},
    {"shadowy", kNumber, kToEnd},    {"shadowblur", kNumber, kToEnd},  {"shadowcolor", kPaint},
    {"box", kWord, kFixed, kBoxWords},              {"boxcolor", kPaint},             {"boxpadding", kNumber, kToEnd},
    {"boxradius", kNumber, kToEnd},
};
constexpr Attribute kSoundRows[] = {
    {"src", kFile},         {"volume", kNumber, kToEnd}, {"pan", kNumber, kToEnd},
    {"frequency", kNumber}, {"loop", kFlag},             {"loopcount", kInteger},
    {"loopstart", kTime},   {"loopend", kTime},          {"clipstart", kTime},
    {"fadein", kTime},      {"fadeout", kTime},
    {"ease", kEase, kPacing, kEaseForms},
};
// A caption's cues bring their own window: "time" shifts them all.
constexpr Attribute kCaptionTimedRows[] = {{"time", kTime}, {"template", kText}};
constexpr Attribute kCaptionRows[] = {
    {"src", kFile},
    {"highlight", kWord, kFixed, kHighlightWords},
    {"highlightcolor", kText},
    {"highlightoutlinecolor", kText},
};
constexpr Attribute kTemplateRows[] = {{"name", kText}};
// What a key moves: the drawn rows whose values a track holds, but the edges (say x and width)
// and the depth, which holds for the whole window; and a sound's volume and pan.
constexpr Attribute kKeyRows[] = {
    {"at", kTime},     {"x", kNumber}, {"y", kNumber}, {"width", kNumber}, {"height", kNumber},
    {"r", kColour, kFixed, {}, 0, 1},
    {"g", kColour, kFixed, {}, 0, 1},
    {"b", kColour, kFixed, {}, 0, 1},
    {"a", kColour, kFixed, {}, 0, 1},
    {"angle", kNumber},
    {"volume", kNumber},
    {"pan", kNumber},
    {"ease", kEase, kPacing, kEaseForms},
};
// In the order the movie pass reads them.
constexpr Attribute kRootRows[] = {
    {"width", kInteger},
    {"height", kInteger},
    {"fps", kInteger},
    {"length", kTime},
    {"r", kColour, kFixed, {}, 0, 1},
    {"g", kColour, kFixed, {}, 0, 1},
    {"b", kColour, kFixed, {}, 0, 1},
    {"a", kColour, kFixed, {}, 0, 1},
    {"loudness", kNumber, kFixed, {}, SoundMaker::kQuietestTarget, 0, "LUFS"},
};

constexpr std::span<const Attribute> kRootGroups[] = {kRootRows};
constexpr std::span<const Attribute> kImageGroups[] = {kTimedRows, kDrawnRows, kImageRows};
constexpr std::span<const Attribute> kTextGroups[] = {kTimedRows, kDrawnRows, kTextRows, kTextStyleRows};
constexpr std::span<const Attribute> kRectGroups[] = {kTimedRows, kDrawnRows, kShapeRows, kCornerRows};
constexpr std::span<const Attribute> kEllipseGroups[] = {kTimedRows, kDrawnRows, kShapeRows};
constexpr std::span<const Attribute> kSoundGroups[] = {kTimedRows, kSoundRows};
constexpr std::span<const Attribute> kCaptionGroups[] = {kCaptionTimedRows, kDrawnRows, kTextRows, kTextStyleRows,
                                                         kCaptionRows};
constexpr std::span<const Attribute> kTemplateGroups[] = {kTemplateRows};
constexpr std::span<const Attribute> kKeyGroups[] = {kKeyRows};

constexpr ElementKind kKinds[] = {
    {"talmora", nullptr, kRootGroups},
    {"image", MakeObject<Image>, kImageGroups},
    {"text", MakeObject<Text>, kTextGroups},
    {"sound", MakeObject<Sound>, kSoundGroups},
    {"rect", MakeObject<RectShape>, kRectGroups},
    {"ellipse", MakeObject<EllipseShape>, kEllipseGroups},
    {"captions", MakeObject<Captions>, kCaptionGroups},
    {"template", nullptr, kTemplateGroups, true},
    {"key", nullptr, kKeyGroups, false, true},
};

// Each kind's names with their end partners, sorted, built once.
struct Names {
  std::vector<std::string> owned;
  std::vector<std::string_view> sorted;
};

void Add(const ElementKind& kind, std::vector<std::string>& names) {
  for (const auto group : kind.groups) {
    for (const Attribute& attribute : group) {
      names.emplace_back(attribute.name);
      if (attribute.motion == kToEnd) names.push_back(std::string(attribute.name) + "end");
    }
  }
}

const Names& NamesOf(const ElementKind& kind) {
  static const std::vector<Names> kNames = [] {
    std::vector<Names> all(std::size(kKinds));
    for (size_t i = 0; i < all.size(); ++i) {
      std::vector<std::string>& owned = all[i].owned;
      Add(kKinds[i], owned);
      if (kKinds[i].lends) {
        for (const ElementKind& lent : kKinds) {
          if (lent.make) Add(lent, owned);
        }
        std::erase(owned, "template");
      }
      std::sort(owned.begin(), owned.end());
      owned.erase(std::unique(owned.begin(), owned.end()), owned.end());
      all[i].sorted.assign(owned.begin(), owned.end());
    }
    return all;
  }();
  return kNames[static_cast<size_t>(&kind - kKinds)];
}

// Optimal string alignment distance: a swap of neighbours counts as one slip.
size_t EditDistance(std::string_view a, std::string_view b) {
  std::vector<std::vector<size_t>> d(a.size() + 1, std::vector<size_t>(b.size() + 1));
  for (size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
  for (size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
  for (size_t i = 1; i <= a.size(); ++i) {
    for (size_t j = 1; j <= b.size(); ++j) {
      const size_t cost = a[i - 1] == b[j - 1] ? 0 : 1;
      d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + cost});
      if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1]) {
        d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
      }
    }
  }
  return d[a.size()][b.size()];
}

}  // namespace

std::span<const ElementKind> ElementKinds() { return kKinds; }

const ElementKind& RootKind() { return kKinds[0]; }

const ElementKind* ChildKind(std::string_view tag) {
  for (const ElementKind& kind : ElementKinds().subspan(1)) {
    if (kind.tag == tag && !kind.nested) return &kind;
  }
  return nullptr;
}

const ElementKind& KeyKind() {
  static const ElementKind& kKey = *std::find_if(std::begin(kKinds), std::end(kKinds),
                                                 [](const ElementKind& kind) { return kind.tag == "key"; });
  return kKey;
}

std::span<const ObjectKind> ObjectKinds() {
  static const std::vector<ObjectKind> kMade = [] {
    std::vector<ObjectKind> made;
    for (const ElementKind& kind : kKinds) {
      if (kind.make) made.push_back({kind.tag, kind.make});
    }
    return made;
  }();
  return kMade;
}

std::span<const std::string_view> AttributeNames(const ElementKind& kind) { return NamesOf(kind).sorted; }

bool IsKnownAttribute(const ElementKind& kind, std::string_view name) {
  const auto& names = NamesOf(kind).sorted;
  return std::binary_search(names.begin(), names.end(), name);
}

std::vector<std::string_view> UnreadAttributes(const ElementKind& kind, const AttributeMap& attributes) {
  std::vector<std::string_view> unread;
  for (const auto& [name, value] : attributes) {
    if (!IsKnownAttribute(kind, name) && name != "xmlns" && !name.starts_with("xmlns:")) unread.push_back(name);
  }
  return unread;
}

size_t CountUnreadNames(const TagList& tags) {
  if (tags.empty()) return 0;
  size_t count = UnreadAttributes(RootKind(), tags.front().attributes).size();
  for (size_t i = 1; i < tags.size(); ++i) {
    const ElementKind* kind = ChildKind(tags[i].name);
    count += kind ? UnreadAttributes(*kind, tags[i].attributes).size() : 1;
  }
  return count;
}

std::optional<std::string_view> NearestName(std::string_view word,
                                            std::span<const std::string_view> candidates) {
  // Long words are no attribute names; the table cost grows with their square.
  if (word.empty() || word.size() > 64) return std::nullopt;
  // One slip in a short word, two in a longer one; more, or any in a single letter, would
  // suggest unrelated names.
  if (word.size() < 2) return std::nullopt;
  const size_t limit = word.size() <= 4 ? 1 : 2;
  std::optional<std::string_view> best;
  size_t best_distance = limit + 1;
  for (std::string_view candidate : candidates) {
    const size_t distance = EditDistance(word, candidate);
    if (distance < best_distance) {
      best = candidate;
      best_distance = distance;
    }
  }
  return best;
}

}  // namespace talmora
