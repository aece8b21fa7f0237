// The table of element kinds: rows that cannot clash, the names it gives, its suggestions, and the
// fuzz target's dictionary.

#include "app/object_kinds.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "support/cli_harness.h"
#include "video/easing.h"

namespace talmora {
namespace {

// A name given twice in a kind, or an end partner that is also a row of its own, would be read
// by two readers.
TEST(ObjectKinds, RowsGiveEachNameOnce) {
  std::set<std::string_view> tags;
  for (const ElementKind& kind : ElementKinds()) {
    EXPECT_TRUE(tags.insert(kind.tag).second) << kind.tag;
    std::multiset<std::string> names;
    for (const auto group : kind.groups) {
      for (const Attribute& row : group) {
        names.insert(std::string(row.name));
        if (row.motion == Motion::kToEnd) names.insert(std::string(row.name) + "end");
        if (row.type == ValueType::kWord || row.type == ValueType::kEase) {
          EXPECT_GE(row.words.size(), 2u) << row.name;
        }
        // The check names the forms when the ease reader refuses one; the last is a pattern.
        for (size_t i = 0; row.type == ValueType::kEase && i + 1 < row.words.size(); ++i) {
          EXPECT_TRUE(ParseEase(row.words[i])) << row.words[i];
        }
      }
    }
    for (const std::string& name : names) EXPECT_EQ(names.count(name), 1u) << kind.tag << " " << name;
  }
  // The root and a key are no children, and a template lends what it reads but never follows another.
  EXPECT_EQ(ChildKind(RootKind().tag), nullptr);
  EXPECT_EQ(ChildKind(KeyKind().tag), nullptr);
  const ElementKind& lender = *ChildKind("template");
  EXPECT_FALSE(IsKnownAttribute(lender, "template"));
  EXPECT_TRUE(IsKnownAttribute(lender, "name"));
  EXPECT_TRUE(IsKnownAttribute(lender, "fadeout"));
}

TEST(ObjectKinds, NearestNameOnlyForLikelySlips) {
  const std::span<const std::string_view> text = AttributeNames(*ChildKind("text"));
  const std::pair<const char*, const char*> cases[] = {
      {"fontsise", "fontsize"}, {"tiem", "time"}, {"sentense", "sentence"}, {"rr", "r"},
      {"q", nullptr}, {"colour", nullptr}, {"fontsizes", "fontsize"}, {"", nullptr},
  };
  for (const auto& [word, nearest] : cases) {
    const auto found = NearestName(word, text);
    EXPECT_EQ(found.has_value(), nearest != nullptr) << word;
    if (found && nearest) {
      EXPECT_EQ(*found, nearest) << word;
    }
  }
  EXPECT_FALSE(IsKnownAttribute(*ChildKind("image"), "fontsize"));
}

// What a render counts is what the check lists: an unknown element once, and each attribute no
// reader of its element reads; namespace declarations are the XML reader's.
TEST(ObjectKinds, UnreadNamesCountedAsTheCheckListsThem) {
  const TagList tags = {
      {"talmora", {{"widht", "9"}, {"xmlns:p", "urn:p"}, {"fps", "30"}}, 1},
      {"polygon", {{"x", "1"}, {"y", "1"}}, 2},
      {"text", {{"durtion", "2"}, {"fontsise", "9"}, {"x", "1"}, {"xmlns", "urn:q"}}, 3},
      {"sound", {{"x", "1"}, {"volume", "1"}}, 4},
      {"template", {{"name", "t"}, {"fontsize", "9"}, {"template", "u"}}, 5},
  };
  EXPECT_EQ(CountUnreadNames(tags), 6u);
  const auto unread = UnreadAttributes(*ChildKind("text"), tags[2].attributes);
  EXPECT_EQ(unread, (std::vector<std::string_view>{"durtion", "fontsise"}));
  EXPECT_EQ(CountUnreadNames({tags[0]}), 1u);
}

// The fuzzer finds its way into a reader sooner with that reader's name in the dictionary.
TEST(ObjectKinds, FuzzDictionaryHoldsEveryTagAndName) {
  const std::string dict = testing::ReadFile(std::string(TALMORA_SOURCE_DIR) + "/tests/fuzz/script.dict");
  for (const ElementKind& kind : ElementKinds()) {
    EXPECT_NE(dict.find("\"<" + std::string(kind.tag) + "\""), std::string::npos) << kind.tag;
    for (const std::string_view name : AttributeNames(kind)) {
      EXPECT_NE(dict.find("\"" + std::string(name) + "=\""), std::string::npos) << name;
    }
  }
}

}  // namespace
}  // namespace talmora
