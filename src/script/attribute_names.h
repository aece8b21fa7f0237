#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "script/attribute_map.h"

namespace talmora {

enum class TagKind { kRoot, kTemplate, kImage, kText, kSound };

// The kind of a child of the root; empty for a name no reader looks at.
std::optional<TagKind> ChildKind(std::string_view tag_name);

// The names the readers look for on a tag of `kind`, sorted. A template's are those of every
// kind it can lend to, and its own "name".
std::span<const std::string_view> AttributeNames(TagKind kind);
bool IsKnownAttribute(TagKind kind, std::string_view name);

// The attributes of a tag of `kind` that no reader reads, in key order. Namespace declarations are
// the XML reader's own.
std::vector<std::string_view> UnreadAttributes(TagKind kind, const AttributeMap& attributes);

// How many names in the script no reader reads: each child of the root no reader looks at (its
// attributes aside) and each attribute of the root or another child none reads. `--check` lists
// them.
size_t CountUnreadNames(const TagList& tags);

// The one of `candidates` closest to `word` (letters swapped, added, dropped or changed),
// when it is close enough to be a likely slip; empty otherwise.
std::optional<std::string_view> NearestName(std::string_view word,
                                            std::span<const std::string_view> candidates);

}  // namespace talmora
