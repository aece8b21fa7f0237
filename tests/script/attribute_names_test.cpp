// The one table of attribute names against the readers in the sources, and its suggestions.

#include "script/attribute_names.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <vector>

namespace talmora {
namespace {

// Every string-literal name a reader asks for, file by file, must be in the table of each kind
// that file reads for; a reading file the map does not know fails too, so that a new reader
// cannot slip past the check's "never read" report.
TEST(AttributeNames, TableHoldsEveryNameTheReadersAskFor) {
  const std::map<std::string, std::vector<TagKind>> kinds_of = {
      {"script/object.cpp", {TagKind::kImage, TagKind::kText, TagKind::kSound}},
      {"video/video_object.cpp", {TagKind::kImage, TagKind::kText}},
      {"video/image.cpp", {TagKind::kImage}},
      {"video/text.cpp", {TagKind::kText}},
      {"audio/sound.cpp", {TagKind::kSound}},
      {"audio/sound_maker.cpp", {TagKind::kRoot}},
      {"video/movie_maker.cpp", {TagKind::kRoot}},
      {"app/script_check.cpp", {TagKind::kRoot}},
  };
  const std::regex call(
      R"re(\b(ReadText|ReadNumber|ReadInteger|ReadFlag|ReadPair|ReadPlainNumber|ReadPlainInteger|)re"
      R"re(ReadProperty(?:Text|Number|Integer|Flag)|FindAttribute)\((?:[^,()"]+,\s*){1,2}"([^"]*)")re");
  const std::filesystem::path src = std::filesystem::path(TALMORA_SOURCE_DIR) / "src";
  size_t names = 0;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(src)) {
    if (entry.path().extension() != ".cpp") continue;
    std::stringstream text;
    text << std::ifstream(entry.path()).rdbuf();
    const std::string source = text.str();
    const std::string file = entry.path().lexically_relative(src).string();
    for (std::sregex_iterator it(source.begin(), source.end(), call), end; it != end; ++it) {
      const auto kinds = kinds_of.find(file);
      ASSERT_NE(kinds, kinds_of.end()) << file << " reads \"" << (*it)[2] << "\": add it to this map";
      std::vector<std::string> read = {(*it)[2]};
      if ((*it)[1] == "ReadPair") read.push_back(read.front() + "end");
      for (const std::string& name : read) {
        for (TagKind kind : kinds->second) {
          EXPECT_TRUE(IsKnownAttribute(kind, name)) << file << " reads \"" << name << "\"";
          if (kind != TagKind::kRoot && name != "template") {
            EXPECT_TRUE(IsKnownAttribute(TagKind::kTemplate, name)) << name;
          }
        }
        ++names;
      }
    }
  }
  EXPECT_GT(names, 50u);  // the scan itself still finds the readers
}

TEST(AttributeNames, NearestNameOnlyForLikelySlips) {
  const std::span<const std::string_view> text = AttributeNames(TagKind::kText);
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
  EXPECT_FALSE(IsKnownAttribute(TagKind::kTemplate, "template"));
  EXPECT_TRUE(IsKnownAttribute(TagKind::kTemplate, "name"));
  EXPECT_FALSE(IsKnownAttribute(TagKind::kImage, "fontsize"));
}

// What a render counts is what the check lists: an unknown element once, and each attribute no
// reader of its element reads; namespace declarations are the XML reader's.
TEST(AttributeNames, UnreadNamesCountedAsTheCheckListsThem) {
  const TagList tags = {
      {"talmora", {{"widht", "9"}, {"xmlns:p", "urn:p"}, {"fps", "30"}}, 1},
      {"rect", {{"x", "1"}, {"y", "1"}}, 2},
      {"text", {{"durtion", "2"}, {"fontsise", "9"}, {"x", "1"}, {"xmlns", "urn:q"}}, 3},
      {"sound", {{"x", "1"}, {"volume", "1"}}, 4},
      {"template", {{"name", "t"}, {"fontsize", "9"}, {"template", "u"}}, 5},
  };
  EXPECT_EQ(CountUnreadNames(tags), 6u);
  const auto unread = UnreadAttributes(TagKind::kText, tags[2].attributes);
  EXPECT_EQ(unread, (std::vector<std::string_view>{"durtion", "fontsise"}));
  EXPECT_EQ(CountUnreadNames({tags[0]}), 1u);
}

}  // namespace
}  // namespace talmora
