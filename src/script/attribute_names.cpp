#include "script/attribute_names.h"

#include <algorithm>
#include <array>
#include <vector>

namespace talmora {
namespace {

// The one table of what the readers read. The script tests scan the sources for every name a
// reader asks for and fail when it is missing here.
constexpr std::string_view kCommon[] = {"time", "duration", "timeend", "template"};
constexpr std::string_view kVisual[] = {
    "left", "right", "leftend", "rightend", "top",     "bottom",   "topend", "bottomend",
    "x",    "xend",  "y",       "yend",     "width",   "widthend", "height", "heightend",
    "z",    "zend",  "r",       "rend",     "g",       "gend",     "b",      "bend",
    "a",    "aend",  "ease",    "angle",    "angleend"};
constexpr std::string_view kImage[] = {"src", "clipstart", "cliploop", "clipspeed"};
constexpr std::string_view kText[] = {"fontsize", "weight", "italic",     "face",     "sentence",
                                      "align",    "valign", "singleline", "wordbreak"};
constexpr std::string_view kSound[] = {"src",       "loop",      "loopcount", "loopstart", "loopend",
                                       "frequency", "volume",    "pan",       "volumeend", "panend",
                                       "clipstart", "fadein",    "fadeout",   "ease"};
constexpr std::string_view kRoot[] = {"width", "height", "fps", "length",
                                      "r",     "g",      "b",   "a",      "loudness"};

using NameList = std::vector<std::string_view>;

NameList Join(std::initializer_list<std::span<const std::string_view>> parts) {
  NameList names;
  for (auto part : parts) names.insert(names.end(), part.begin(), part.end());
  std::sort(names.begin(), names.end());
  names.erase(std::unique(names.begin(), names.end()), names.end());
  return names;
}

const NameList& NamesOf(TagKind kind) {
  static const std::array<NameList, 5> kNames = [] {
    std::array<NameList, 5> names;
    names[static_cast<size_t>(TagKind::kRoot)] = Join({kRoot});
    names[static_cast<size_t>(TagKind::kImage)] = Join({kCommon, kVisual, kImage});
    names[static_cast<size_t>(TagKind::kText)] = Join({kCommon, kVisual, kText});
    names[static_cast<size_t>(TagKind::kSound)] = Join({kCommon, kSound});
    // A template's own "template" is never followed: the element's is read before it lends.
    constexpr std::string_view kName[] = {"name"};
    NameList lent = Join({kCommon, kVisual, kImage, kText, kSound, kName});
    std::erase(lent, "template");
    names[static_cast<size_t>(TagKind::kTemplate)] = std::move(lent);
    return names;
  }();
  return kNames[static_cast<size_t>(kind)];
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

std::optional<TagKind> ChildKind(std::string_view tag_name) {
  if (tag_name == "image") return TagKind::kImage;
  if (tag_name == "text") return TagKind::kText;
  if (tag_name == "sound") return TagKind::kSound;
  if (tag_name == "template") return TagKind::kTemplate;
  return std::nullopt;
}

std::span<const std::string_view> AttributeNames(TagKind kind) { return NamesOf(kind); }

bool IsKnownAttribute(TagKind kind, std::string_view name) {
  const NameList& names = NamesOf(kind);
  return std::binary_search(names.begin(), names.end(), name);
}

std::vector<std::string_view> UnreadAttributes(TagKind kind, const AttributeMap& attributes) {
  std::vector<std::string_view> unread;
  for (const auto& [name, value] : attributes) {
    if (!IsKnownAttribute(kind, name) && name != "xmlns" && !name.starts_with("xmlns:")) unread.push_back(name);
  }
  return unread;
}

size_t CountUnreadNames(const TagList& tags) {
  if (tags.empty()) return 0;
  size_t count = UnreadAttributes(TagKind::kRoot, tags.front().attributes).size();
  for (size_t i = 1; i < tags.size(); ++i) {
    const auto kind = ChildKind(tags[i].name);
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
