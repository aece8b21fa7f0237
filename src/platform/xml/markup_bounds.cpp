#include "platform/xml/markup_bounds.h"

#include <cstdint>

namespace talmora {
namespace {

constexpr size_t kEnd = std::string_view::npos;

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

bool IsAsciiNameStart(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == ':';
}

// The byte length of the character at `at` when the parser reads it inside a comment, section,
// instruction or literal; 0 where it stops: a control character, a surrogate, U+FFFE, U+FFFF or a
// byte that starts no UTF-8 sequence (the parser would go on in Latin-1; stopping is the cautious
// side).
size_t DocumentChar(std::string_view s, size_t at) {
  const auto c = static_cast<unsigned char>(s[at]);
  if (c < 0x80) return c >= 0x20 || IsBlank(static_cast<char>(c)) ? 1 : 0;
  const size_t length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 ? 2 : 0;
  if (length == 0 || c > 0xF4 || at + length > s.size()) return 0;
  uint32_t code = c & (0x7Fu >> length);
  for (size_t k = 1; k < length; ++k) {
    const auto t = static_cast<unsigned char>(s[at + k]);
    if ((t & 0xC0) != 0x80) return 0;
    code = code << 6 | (t & 0x3Fu);
  }
  const uint32_t least = length == 2 ? 0x80 : length == 3 ? 0x800 : 0x10000;
  const bool allowed = code >= least && code <= 0x10FFFF && (code < 0xD800 || code > 0xDFFF) &&
                       code != 0xFFFE && code != 0xFFFF;
  return allowed ? length : 0;
}

class Scanner {
 public:
  Scanner(std::string_view text, int& namespaces) : s_(text), namespaces_(namespaces) {}

  std::optional<MarkupExcess> Run(bool prolog, bool declarations) {
    prolog_ = prolog;
    if (declarations) {
      if (auto excess = Declarations(false)) return excess;
    }
    while ((at_ = s_.find('<', at_)) != kEnd) {
      if (auto excess = Markup()) return excess;
    }
    return std::nullopt;
  }

 private:
  bool Ahead(std::string_view text) const { return s_.substr(at_).starts_with(text); }
  void SkipBlanks() {
    while (at_ < s_.size() && IsBlank(s_[at_])) ++at_;
  }

  MarkupExcess Excess(size_t at, std::string reason) const {
    MarkupExcess excess{1, 1, std::move(reason)};
    for (size_t i = 0; i < at; ++i) {
      if (s_[i] == '\n') {
        ++excess.line;
        excess.column = 1;
      } else if ((static_cast<unsigned char>(s_[i]) & 0xC0) != 0x80) {
        ++excess.column;
      }
    }
    return excess;
  }

  // From `from` to just past `end`, or to the first character the parser stops at; false there.
  bool SkipPast(size_t from, std::string_view end) {
    for (size_t i = from; i < s_.size();) {
      if (s_.substr(i).starts_with(end)) {
        at_ = i + end.size();
        return true;
      }
      const size_t length = DocumentChar(s_, i);
      if (length == 0) {
        at_ = i;
        return false;
      }
      i += length;
    }
    at_ = s_.size();
    return false;
  }

  // A quoted literal starting at `from`: true with `end` after its closing quote, or false with
  // `end` where the parser ends it early (at a '<' too, when `tag_value`: a value cannot hold one).
  bool Literal(size_t from, bool tag_value, size_t& end) const {
    const char quote = s_[from];
    for (end = from + 1; end < s_.size();) {
      if (s_[end] == quote) {
        ++end;
        return true;
      }
      if (tag_value && s_[end] == '<') return false;
      const size_t length = DocumentChar(s_, end);
      if (length == 0) return false;
      end += length;
    }
    return false;
  }

  // At a '<' in content.
  std::optional<MarkupExcess> Markup() {
    if (Ahead("<!--")) {
      SkipPast(at_ + 4, "-->");
    } else if (Ahead("<![CDATA[")) {
      SkipPast(at_ + 9, "]]>");
    } else if (Ahead("<?")) {
      Instruction();
    } else if (Ahead("<!ATTLIST")) {
      return AttributeList();
    } else if (prolog_ && Ahead("<!DOCTYPE")) {
      return DocumentType();
    } else if (Ahead("<!") || Ahead("</")) {
      // Never a start tag, and whatever follows a '<' inside it is read as markup again.
      const size_t end = s_.find_first_of("<>", at_ + 2);
      at_ = end == kEnd ? s_.size() : s_[end] == '>' ? end + 1 : end;
    } else {
      return StartTag();
    }
    return std::nullopt;
  }

  // False where the parser stops short of the "?>": without a target name it reads on right after
  // the "<?".
  bool Instruction() {
    if (at_ + 2 < s_.size() && IsAsciiNameStart(s_[at_ + 2])) return SkipPast(at_ + 2, "?>");
    at_ += 2;
    return false;
  }

  std::optional<MarkupExcess> StartTag() {
    prolog_ = false;
    const size_t begin = at_;
    size_t i = begin + 1;
    while (i < s_.size() && !IsBlank(s_[i]) && std::string_view("/>=<\"'").find(s_[i]) == kEnd) ++i;
    const std::string_view element = s_.substr(begin + 1, i - begin - 1);
    int attributes = 0;
    size_t word = kEnd;  // the run of name characters last seen, which '=' gives a value to
    size_t word_end = kEnd;
    while (i < s_.size() && s_[i] != '<') {
      const char c = s_[i];
      if (c == '>') {
        ++i;
        break;
      }
      if (c == '"' || c == '\'') {
        Literal(i, true, i);
        word = kEnd;
      } else if (c == '=') {
        if (++attributes > kMaxAttributesPerElement) {
          return Excess(begin, "要素 " + std::string(element) + " の属性が " +
                                   std::to_string(kMaxAttributesPerElement) + " 個を超えています\n");
        }
        if (word != kEnd) {
          const std::string_view name = s_.substr(word, word_end - word);
          if ((name == "xmlns" || name.starts_with("xmlns:")) &&
              ++namespaces_ > kMaxNamespaceDeclarations) {
            return Excess(begin, "名前空間の宣言が " + std::to_string(kMaxNamespaceDeclarations) +
                                     " 個を超えています\n");
          }
        }
        word = kEnd;
        ++i;
      } else if (IsBlank(c) || c == '/') {
        ++i;
      } else {
        if (word_end != i) word = i;
        word_end = ++i;
      }
    }
    at_ = i;
    return std::nullopt;
  }

  // A default value would be applied to every element the list names; one is refused wherever it
  // stands. A parameter entity inside the list could give one, so it is refused too.
  std::optional<MarkupExcess> AttributeList() {
    for (size_t i = at_ + 9; i < s_.size(); ++i) {
      const char c = s_[i];
      if (c == '>' || c == '<') {
        at_ = c == '>' ? i + 1 : i;
        return std::nullopt;
      }
      if (c == '"' || c == '\'' || c == '%') {
        return Excess(at_, "DTD で属性の既定値を宣言することはできません\n");
      }
    }
    at_ = s_.size();
    return std::nullopt;
  }

  // "<!DOCTYPE name", an external identifier, then an internal subset; anything unexpected leaves
  // the rest to be read as content, as the parser would go on after its error.
  std::optional<MarkupExcess> DocumentType() {
    at_ += 9;
    SkipBlanks();
    while (at_ < s_.size() && !IsBlank(s_[at_]) && std::string_view("[><\"'").find(s_[at_]) == kEnd) ++at_;
    SkipBlanks();
    int literals = Ahead("SYSTEM") ? 1 : Ahead("PUBLIC") ? 2 : 0;
    if (literals > 0) at_ += 6;
    for (; literals > 0; --literals) {
      SkipBlanks();
      if (at_ >= s_.size() || (s_[at_] != '"' && s_[at_] != '\'')) return std::nullopt;
      // Stopped early, the parser reads on from there.
      if (!Literal(at_, false, at_)) return std::nullopt;
    }
    SkipBlanks();
    if (Ahead("[")) {
      ++at_;
      return Declarations(true);
    }
    if (Ahead(">")) ++at_;
    return std::nullopt;
  }

  // Markup declarations up to the subset's ']' (when `subset`) or the first thing that is none.
  std::optional<MarkupExcess> Declarations(bool subset) {
    for (;;) {
      SkipBlanks();
      if (at_ >= s_.size()) return std::nullopt;
      if (subset && s_[at_] == ']') {
        ++at_;
        SkipBlanks();
        if (Ahead(">")) ++at_;
        return std::nullopt;
      }
      if (s_[at_] == '%') {
        ++at_;
        while (at_ < s_.size() && !IsBlank(s_[at_]) && std::string_view(";<>\"'%").find(s_[at_]) == kEnd) ++at_;
        if (Ahead(";")) ++at_;
      } else if (Ahead("<!--")) {
        if (!SkipPast(at_ + 4, "-->")) return std::nullopt;
      } else if (Ahead("<?")) {
        if (!Instruction()) return std::nullopt;
      } else if (Ahead("<!ATTLIST")) {
        if (auto excess = AttributeList()) return excess;
      } else if (Ahead("<!")) {
        if (!Declaration()) return std::nullopt;
      } else {
        return std::nullopt;
      }
    }
  }

  // An entity, element or notation declaration; its literals may hold any markup, and each entity's
  // replacement text is scanned when the parser asks for it. False where the parser would stop.
  bool Declaration() {
    for (size_t i = at_ + 2; i < s_.size();) {
      const char c = s_[i];
      if (c == '>') {
        at_ = i + 1;
        return true;
      }
      if (c == '<') {
        at_ = i;
        return true;
      }
      if (c == '"' || c == '\'') {
        if (!Literal(i, false, i)) {
          at_ = i;
          return false;
        }
      } else {
        ++i;
      }
    }
    at_ = s_.size();
    return false;
  }

  std::string_view s_;
  int& namespaces_;
  size_t at_ = 0;
  bool prolog_ = false;
};

}  // namespace

std::optional<MarkupExcess> MarkupBounds::Scan(std::string_view text, bool prolog, bool declarations) {
  return Scanner(text, namespace_declarations_).Run(prolog, declarations);
}

}  // namespace talmora
