#pragma once

#include <limits>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "script/attribute_map.h"
#include "script/object_factory.h"

namespace talmora {

// What an attribute's text is read as.
// kColour is one channel from 0 to 1, kPaint a whole colour ("#rrggbb" and its kin).
enum class ValueType { kNumber, kInteger, kFlag, kWord, kColour, kPaint, kTime, kFile, kText, kEase };

enum class Motion {
  kFixed,
  kToEnd,   // "<name>end" gives the value at the end of the window
  kPacing,  // shapes how the moving values move
};

struct Attribute {
  std::string_view name;
  ValueType type;
  Motion motion = Motion::kFixed;
  // kWord: the words read, the first the default; kEase: the forms read.
  std::span<const std::string_view> words = {};
  // Values taken but outside these draw a line from the check; refusals are the readers' own.
  double min = -std::numeric_limits<double>::infinity();
  double max = std::numeric_limits<double>::infinity();
  std::string_view unit = {};
};

// One element a script can hold: its tag, how its object is made (none for the root and the
// template) and the attributes its readers read, group by group.
struct ElementKind {
  std::string_view tag;
  std::shared_ptr<Object> (*make)(ScriptContext& context) = nullptr;
  std::span<const std::span<const Attribute>> groups = {};
  // A template also takes every name of the kinds it lends to, but never follows a "template".
  bool lends = false;
  // An element inside a drawn one (a key), never a child of the root.
  bool nested = false;
};

// Every element a script can hold: the root first, then its children in the order suggestions
// prefer. A new kind is its class and one row here.
std::span<const ElementKind> ElementKinds();
const ElementKind& RootKind();
// The kind of a child of the root; none for a tag no reader looks at.
const ElementKind* ChildKind(std::string_view tag);
// The kind of the elements a drawn element holds.
const ElementKind& KeyKind();
// The kinds with a maker, for the factory.
std::span<const ObjectKind> ObjectKinds();

// The names the readers look for on the kind's tags, with the end partners, sorted.
std::span<const std::string_view> AttributeNames(const ElementKind& kind);
bool IsKnownAttribute(const ElementKind& kind, std::string_view name);

// The attributes of a tag of `kind` that no reader reads, in key order. Namespace declarations are
// the XML reader's own.
std::vector<std::string_view> UnreadAttributes(const ElementKind& kind, const AttributeMap& attributes);

// How many names in the script no reader reads: each child of the root no reader looks at (its
// attributes aside) and each attribute of the root or another child none reads. `--check` lists
// them.
size_t CountUnreadNames(const TagList& tags);

// The one of `candidates` closest to `word` (letters swapped, added, dropped or changed),
// when it is close enough to be a likely slip; empty otherwise.
std::optional<std::string_view> NearestName(std::string_view word,
                                            std::span<const std::string_view> candidates);

}  // namespace talmora
