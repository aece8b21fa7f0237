#include "script/xml_parser.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "platform/console/reporter.h"
#include "platform/xml/xml_document.h"

namespace talmora {
namespace {

ScriptTag TagOf(XmlNode& element) {
  ScriptTag tag{std::move(element.name), {}, element.line};
  for (auto& [name, value] : element.attributes) tag.attributes.emplace(std::move(name), std::move(value));
  tag.children.reserve(element.children.size());
  for (XmlNode& child : element.children) tag.children.push_back(TagOf(child));
  return tag;
}

}  // namespace

std::string ParseErrorReport(const XmlParseError& error) {
  char head[256];
  std::snprintf(head, sizeof head,
                "エラー : XMLのパースに失敗しました\n\tエラーコード = 0x%x\n\t場所 = %d行目 "
                "%d文字目\n\tエラー内容 = ",
                error.code, error.line, error.column);
  std::string report = head + error.reason;
  constexpr size_t kLimit = 1023;
  if (report.size() > kLimit) {
    size_t cut = kLimit;
    // Step back over continuation bytes so no character is split.
    while (cut > 0 && (static_cast<unsigned char>(report[cut]) & 0xC0) == 0x80) --cut;
    report.resize(cut);
  }
  return report;
}

bool XMLParser::Load(const std::string& path) {
  XmlDocument document;
  XmlParseError error;
  const bool parsed = ParseXmlFile(path, document, error);
  return Build(parsed, document, error);
}

bool XMLParser::LoadText(std::string_view text) {
  XmlDocument document;
  XmlParseError error;
  const bool parsed = ParseXmlText(text, document, error);
  return Build(parsed, document, error);
}

bool XMLParser::Build(bool parsed, XmlDocument& document, const XmlParseError& error) {
  if (!parsed) {
    reporter_.Line(ParseErrorReport(error));
    return false;
  }
  if (!document.has_root) {
    reporter_.Line("エラー : XML内にドキュメントが見つかりませんでした");
    return false;
  }
  if (document.root.name != "talmora") {
    reporter_.Line("エラー : talmoraタグが見つかりませんでした");
    return false;
  }
  const auto elements = std::count_if(document.children.begin(), document.children.end(),
                                      [](const XmlNode& child) { return child.kind == XmlNode::Kind::kElement; });
  tags_.reserve(1 + static_cast<size_t>(elements));
  tags_.push_back(TagOf(document.root));
  // The warnings go out a block at a time: a million comments would otherwise take a million
  // writes. The lines are the same.
  std::string warnings;
  for (XmlNode& child : document.children) {
    if (child.kind == XmlNode::Kind::kElement) {
      tags_.push_back(TagOf(child));
      continue;
    }
    warnings += "警告 : 属性の無いタグが存在しています\n";
    if (warnings.size() >= 65536) reporter_.Raw(std::exchange(warnings, {}));
  }
  if (!warnings.empty()) reporter_.Raw(warnings);
  reporter_.Line("XMLのパースが完了しました");
  return true;
}

}  // namespace talmora
