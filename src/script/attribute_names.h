#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace talmora {

enum class TagKind { kRoot, kTemplate, kImage, kText, kSound };

// The kind of a child of the root; empty for a name no reader looks at.
std::optional<TagKind> ChildKind(std::string_view tag_name);

// The names the readers look for on a tag of `kind`, sorted. A template's are those of every
// kind it can lend to, and its own "name".
std::span<const std::string_view> AttributeNames(TagKind kind);
bool IsKnownAttribute(TagKind kind, std::string_view name);

// The one of `candidates` closest to `word` (letters swapped, added, dropped or changed),
// when it is close enough to be a likely slip; empty otherwise.
std::optional<std::string_view> NearestName(std::string_view word,
                                            std::span<const std::string_view> candidates);

}  // namespace talmora
