// The manual's promises: every example renders cleanly with the assets its script makes, and
// every attribute the readers ask for is documented in docs/script.md.

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

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

// Error, warning, invalid-value and load-failure lines all carry one of these.
bool IsProblemLine(const std::string& line) {
  for (const char* mark : {"エラー", "警告", "失敗", "ません"}) {
    if (line.find(mark) != std::string::npos) return true;
  }
  return false;
}

class Example : public ::testing::TestWithParam<std::string> {};

TEST_P(Example, RendersWithoutAProblemLine) {
  const std::string name = GetParam();
  testing::TempDir dir;
  const std::string make = "bash '" + (kSource / "examples/make-assets.sh").string() + "' '" + dir.path() + "' " +
                           name + " > '" + (dir / "make.log") + "' 2>&1";
  ASSERT_EQ(std::system(make.c_str()), 0) << testing::ReadFile(dir / "make.log");

  const auto result = testing::RunTalmora({"--codec", "MJPG", name + ".xml"}, dir.path());
  EXPECT_EQ(result.status, 0);
  std::string line;
  for (const char c : result.out) {
    if (c != '\n' && c != '\r') {
      line += c;
      continue;
    }
    EXPECT_FALSE(IsProblemLine(line)) << line;
    line.clear();
  }
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
  const std::string doc = testing::ReadFile((kSource / "docs/script.md").string());
  size_t at = 0;
  while (at < doc.size()) {
    size_t end = doc.find('\n', at);
    if (end == std::string::npos) end = doc.size();
    const std::string line = doc.substr(at, end - at);
    at = end + 1;
    if (line.rfind("| `", 0) != 0) continue;
    const std::string cell = line.substr(1, line.find('|', 1) - 1);
    for (size_t open = cell.find('`'); open != std::string::npos; open = cell.find('`', open)) {
      const size_t close = cell.find('`', open + 1);
      if (close == std::string::npos) break;
      names.insert(cell.substr(open + 1, close - open - 1));
      open = close + 1;
    }
  }
  return names;
}

// The arguments of the call whose "(" is at `open`, split at top-level commas; string and
// character literals are kept whole.
std::vector<std::string> CallArguments(const std::string& code, size_t open) {
  std::vector<std::string> arguments(1);
  int depth = 0;
  for (size_t i = open + 1; i < code.size(); ++i) {
    const char c = code[i];
    if (c == '"' || c == '\'') {
      const size_t start = i;
      for (++i; i < code.size() && code[i] != c; ++i) {
        if (code[i] == '\\') ++i;
      }
      arguments.back() += code.substr(start, i - start + 1);
      continue;
    }
    if (c == '(' || c == '{' || c == '[') ++depth;
    if (c == ')' || c == '}' || c == ']') {
      if (depth-- == 0) return arguments;
    }
    if (c == ',' && depth == 0) {
      arguments.emplace_back();
    } else {
      arguments.back() += c;
    }
  }
  return {};
}

// The attribute names that calls of Read...(...) and FindAttribute(...) pass as a whole string
// literal argument; a pair reader also reads the name with "end" appended.
std::set<std::string> NamesTheReadersAskFor() {
  std::set<std::string> names;
  for (const auto& entry : fs::recursive_directory_iterator(kSource / "src")) {
    const std::string ext = entry.path().extension().string();
    if (ext != ".cpp" && ext != ".h") continue;
    const std::string code = testing::ReadFile(entry.path().string());
    for (size_t i = 0; i < code.size(); ++i) {
      if (i > 0 && (std::isalnum(static_cast<unsigned char>(code[i - 1])) || code[i - 1] == '_')) continue;
      size_t j = i;
      while (j < code.size() && (std::isalnum(static_cast<unsigned char>(code[j])) || code[j] == '_')) ++j;
      const std::string function = code.substr(i, j - i);
      if (function.rfind("Read", 0) != 0 && function != "FindAttribute") continue;
      while (j < code.size() && std::isspace(static_cast<unsigned char>(code[j]))) ++j;
      if (j >= code.size() || code[j] != '(') continue;
      for (std::string argument : CallArguments(code, j)) {
        argument.erase(0, argument.find_first_not_of(" \t\n"));
        argument.erase(argument.find_last_not_of(" \t\n") + 1);
        if (argument.size() < 3 || argument.front() != '"' || argument.back() != '"') continue;
        const std::string name = argument.substr(1, argument.size() - 2);
        if (!std::all_of(name.begin(), name.end(), [](char c) { return c >= 'a' && c <= 'z'; })) continue;
        names.insert(name);
        if (function.find("Pair") != std::string::npos) names.insert(name + "end");
      }
    }
  }
  return names;
}

TEST(Manual, DocumentsEveryAttributeTheReadersAskFor) {
  const std::set<std::string> asked = NamesTheReadersAskFor();
  // The movie settings and the time window at least: a scan that finds fewer is broken.
  for (const char* name : {"fps", "length", "duration", "sentence", "src", "xend", "aend"}) {
    EXPECT_TRUE(asked.count(name)) << name;
  }
  const std::set<std::string> documented = DocumentedNames();
  for (const std::string& name : asked) EXPECT_TRUE(documented.count(name)) << name << " is missing from docs/script.md";
}

}  // namespace
}  // namespace talmora
