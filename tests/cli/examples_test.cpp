// The manual's promises: every example passes the check and renders cleanly with the assets its
// script makes, and every attribute in the table of element kinds is documented in docs/script.md.

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "app/object_kinds.h"
#include "support/cli_harness.h"

namespace talmora {
namespace {

namespace fs = std::filesystem;

const fs::path kSource = TALMORA_SOURCE_DIR;

std::vector<std::string> ExampleNames() {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(kSource / "examples")) {
    if (entry.path().extension() == ".xml") names.push_back(entry.path().stem().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

class Example : public ::testing::TestWithParam<std::string> {};

TEST_P(Example, RendersWithoutAProblemLine) {
  const std::string name = GetParam();
  testing::TempDir dir;
  const std::string make = "bash '" + (kSource / "examples/make-assets.sh").string() + "' '" + dir.path() + "' " +
                           name + " > '" + (dir / "make.log") + "' 2>&1";
  ASSERT_EQ(std::system(make.c_str()), 0) << testing::ReadFile(dir / "make.log");
  const auto check = testing::RunTalmora({"--check", name + ".xml"}, dir.path());
  EXPECT_EQ(check.out, "チェック完了 : 問題 0 件\n");
  EXPECT_EQ(check.status, 0);

  const auto result = testing::RunTalmora({"--codec", "MJPG", name + ".xml"}, dir.path());
  EXPECT_EQ(result.status, 0);
  // Error, warning, invalid-value and load-failure lines all carry one of these marks.
  std::smatch problem;
  EXPECT_FALSE(std::regex_search(result.out, problem, std::regex("[^\r\n]*(エラー|警告|失敗|ません)[^\r\n]*"))) << problem.str();
  EXPECT_NE(result.out.find("aviの作成が完了しました"), std::string::npos) << result.out;
  const bool has_sound = testing::ReadFile(dir / (name + ".xml")).find("<sound") != std::string::npos;
  EXPECT_EQ(fs::exists(dir / (name + ".wav")), has_sound);
}

// Test names allow letters, digits and "_" only.
std::string TestName(const ::testing::TestParamInfo<std::string>& example) {
  std::string id = example.param;
  std::replace_if(id.begin(), id.end(), [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); }, '_');
  return id;
}

INSTANTIATE_TEST_SUITE_P(Examples, Example, ::testing::ValuesIn(ExampleNames()), TestName);

// The names in backquotes in the first cell of the manual's table rows.
std::set<std::string> DocumentedNames() {
  std::set<std::string> names;
  std::istringstream doc(testing::ReadFile((kSource / "docs/script.md").string()));
  const std::regex quoted("`([^`]*)`");
  for (std::string line; std::getline(doc, line);) {
    if (!line.starts_with("| `")) continue;
    const std::string cell = line.substr(1, line.find('|', 1) - 1);
    for (std::sregex_iterator i(cell.begin(), cell.end(), quoted), end; i != end; ++i) names.insert((*i)[1]);
  }
  return names;
}

// Every name of the table of element kinds, which the readers, the check and the factory share.
TEST(Manual, DocumentsEveryAttributeOfEveryKind) {
  const std::set<std::string> documented = DocumentedNames();
  size_t names = 0;
  for (const ElementKind& kind : ElementKinds()) {
    for (const std::string_view name : AttributeNames(kind)) {
      EXPECT_TRUE(documented.count(std::string(name))) << name << " is missing from docs/script.md";
      ++names;
    }
  }
  EXPECT_GT(names, 50u);
}

}  // namespace
}  // namespace talmora
