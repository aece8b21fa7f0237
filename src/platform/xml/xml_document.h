#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace talmora {

// One child of the root, as far as the script loader cares; white space between elements is left
// out.
struct XmlNode {
  enum class Kind {
    kElement,  // an element, with its name and attributes (namespace prefixes kept)
    kOther,    // visible text, CDATA, a comment, a processing instruction
  };
  Kind kind = Kind::kOther;
  std::string name;
  std::vector<std::pair<std::string, std::string>> attributes;  // in document order, UTF-8
  int line = 0;  // where the element starts in the file, from 1
  // An element child of the root: its own element children (its keys), one level down.
  std::vector<XmlNode> children = {};
};

struct XmlDocument {
  bool has_root = false;
  XmlNode root;
  std::vector<XmlNode> children;
};

// The parser's own error code, place and reason text (which ends in a line feed).
struct XmlParseError {
  unsigned code = 0;
  int line = 0;
  int column = 0;
  std::string reason;
};

// Parses without network access, external entities or DTD loading, with entity expansion
// bounded. UTF-8, UTF-16 and declared encodings are read; every text comes out as UTF-8.
bool ParseXmlFile(const std::string& path, XmlDocument& document, XmlParseError& error);
bool ParseXmlText(std::string_view text, XmlDocument& document, XmlParseError& error);

}  // namespace talmora
