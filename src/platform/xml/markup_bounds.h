#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace talmora {

// libxml2 compares each attribute of a start tag with every other, searches every namespace in
// scope for each prefix, and applies a DTD's attribute defaults to every element they name: each
// grows with the square of its part of the script. Within these bounds 10 MB read in well under two
// seconds; legitimate scripts stay far inside them.
inline constexpr int kMaxAttributesPerElement = 128;  // namespace declarations among them
inline constexpr int kMaxNamespaceDeclarations = 128;  // in the whole script, entities included

struct MarkupExcess {
  int line = 0;        // in the scanned text, from 1
  int column = 0;      // in characters, from 1
  std::string reason;  // ends in a line feed
};

// Finds the first place where texts, as the parser will read them (UTF-8), pass a bound. It errs on
// the side of finding one: what the parser passes over as a comment, section, instruction or
// literal is passed over only as far as the parser would, and malformed markup is counted, not
// skipped. Attribute defaults in a DTD are refused outright.
class MarkupBounds {
 public:
  // The document itself; a DTD is recognised only before its first element.
  std::optional<MarkupExcess> ScanDocument(std::string_view text) { return Scan(text, true, false); }
  // A general entity's replacement text: content.
  std::optional<MarkupExcess> ScanContent(std::string_view text) { return Scan(text, false, false); }
  // A parameter entity's replacement text: declarations.
  std::optional<MarkupExcess> ScanDeclarations(std::string_view text) { return Scan(text, false, true); }

 private:
  std::optional<MarkupExcess> Scan(std::string_view text, bool prolog, bool declarations);

  int namespace_declarations_ = 0;  // over every text scanned
};

}  // namespace talmora
