#pragma once

#include <string>
#include <string_view>

#include "script/attribute_map.h"

namespace talmora {

class Reporter;
struct XmlDocument;
struct XmlParseError;

// Loads a script into the tag list: the root "talmora" element, then its element children.
class XMLParser {
 public:
  // The loader's messages go to `reporter`.
  explicit XMLParser(Reporter& reporter) : reporter_(reporter) {}
  virtual ~XMLParser() = default;

  // On failure the tag list stays empty.
  bool Load(const std::string& path);
  bool LoadText(std::string_view text);

  const TagList& Tags() const { return tags_; }

 private:
  bool Build(bool parsed, XmlDocument& document, const XmlParseError& error);

  Reporter& reporter_;
  TagList tags_;
};

// The parse-error report, at most 1023 bytes, cut at a character boundary.
std::string ParseErrorReport(const XmlParseError& error);

}  // namespace talmora
