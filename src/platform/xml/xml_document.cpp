#include "platform/xml/xml_document.h"

#include <libxml/SAX2.h>
#include <libxml/encoding.h>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xmlerror.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <vector>

#include "platform/xml/markup_bounds.h"

namespace talmora {
namespace {

struct ContextFree {
  void operator()(xmlParserCtxt* context) const { xmlFreeParserCtxt(context); }
};
struct DocFree {
  void operator()(xmlDoc* document) const { xmlFreeDoc(document); }
};

// A script never needs anything from outside its own file.
xmlParserInputPtr RefuseExternal(const char*, const char*, xmlParserCtxtPtr) { return nullptr; }

std::string Text(const xmlChar* text) {
  return text ? std::string(reinterpret_cast<const char*>(text)) : std::string();
}

std::string QualifiedName(const xmlChar* name, const xmlNs* ns) {
  if (ns && ns->prefix) return Text(ns->prefix) + ":" + Text(name);
  return Text(name);
}

// Entity references in attribute values are kept as references by the parser and expanded here,
// where their total is bounded: a few kilobytes of references to a long entity would otherwise
// take gigabytes. The bound is the parser's own limit on one literal value.
constexpr size_t kMaxExpansion = 10'000'000;
constexpr int kMaxEntityDepth = 40;

struct Expansion {
  size_t total = 0;
  bool exceeded = false;
  long line = 0;  // of the element where the bound was passed
};

void AppendValue(xmlDoc* document, const xmlNode* node, int depth, Expansion& expansion, std::string& value) {
  for (; node && !expansion.exceeded; node = node->next) {
    if (node->type == XML_TEXT_NODE) {
      const char* text = node->content ? reinterpret_cast<const char*>(node->content) : "";
      const size_t size = std::strlen(text);
      if (depth > 0) {
        expansion.total += size;
        if (expansion.total > kMaxExpansion) {
          expansion.exceeded = true;
          return;
        }
      }
      value.append(text, size);
    } else if (node->type == XML_ENTITY_REF_NODE) {
      const xmlEntity* entity = xmlGetDocEntity(document, node->name);
      if (!entity) {
        value += Text(node->content);
      } else if (depth >= kMaxEntityDepth) {
        expansion.exceeded = true;
      } else {
        AppendValue(document, entity->children, depth + 1, expansion, value);
      }
    }
  }
}

XmlNode ElementNode(xmlDoc* document, const xmlNode* element, Expansion& expansion) {
  XmlNode node;
  node.kind = XmlNode::Kind::kElement;
  node.name = QualifiedName(element->name, element->ns);
  node.line = static_cast<int>(xmlGetLineNo(element));
  size_t count = 0;
  for (const xmlNs* ns = element->nsDef; ns; ns = ns->next) ++count;
  for (const xmlAttr* attribute = element->properties; attribute; attribute = attribute->next) ++count;
  node.attributes.reserve(count);
  for (const xmlNs* ns = element->nsDef; ns; ns = ns->next) {
    node.attributes.emplace_back(ns->prefix ? "xmlns:" + Text(ns->prefix) : "xmlns", Text(ns->href));
  }
  for (const xmlAttr* attribute = element->properties; attribute; attribute = attribute->next) {
    std::string value;
    AppendValue(document, attribute->children, 0, expansion, value);
    if (expansion.exceeded) {
      expansion.line = xmlGetLineNo(element);
      return node;
    }
    node.attributes.emplace_back(QualifiedName(attribute->name, attribute->ns), std::move(value));
  }
  return node;
}

bool IsBlank(const xmlNode* child) { return child->type == XML_TEXT_NODE && xmlIsBlankNode(child); }

// What one parse keeps beside the parser: its first error, and the bounds its entities are held to.
struct ParseState {
  // The parser goes on after the first error and reports follow-on errors; the first names the cause.
  bool seen = false;
  XmlParseError first;
  MarkupBounds bounds;
  std::set<const xmlEntity*> scanned;
  std::optional<XmlParseError> refusal;  // an entity past the bounds, which stopped the parse
};

void KeepFirstError(void* user_data, xmlError* error) {
  auto* context = static_cast<xmlParserCtxt*>(user_data);
  auto* state = context ? static_cast<ParseState*>(context->_private) : nullptr;
  if (!state || state->seen || !error || error->level < XML_ERR_ERROR) return;
  state->seen = true;
  state->first = XmlParseError{static_cast<unsigned>(error->code), error->line, error->int2,
                               error->message ? error->message : ""};
  // Errors raised without the parser (the input's encoding conversion) carry no place.
  if (state->first.line == 0 && context->input) {
    state->first.line = context->input->line;
    state->first.column = context->input->col;
  }
}

void IgnoreError(void*, xmlError*) {}
void Discard(void*, const char*, ...) {}

// An entity's replacement text is parsed when it is first asked for; past the bounds, the parse
// stops there (the parser checks for a stop right after asking).
xmlEntity* Guarded(void* user_data, xmlEntity* entity) {
  auto* context = static_cast<xmlParserCtxt*>(user_data);
  auto* state = static_cast<ParseState*>(context->_private);
  if (!entity || !entity->content || !state->scanned.insert(entity).second) return entity;
  const std::string_view text(reinterpret_cast<const char*>(entity->content));
  const bool declarations =
      entity->etype == XML_INTERNAL_PARAMETER_ENTITY || entity->etype == XML_EXTERNAL_PARAMETER_ENTITY;
  const auto excess = declarations ? state->bounds.ScanDeclarations(text) : state->bounds.ScanContent(text);
  if (!excess) return entity;
  if (!state->refusal) {
    const int line = context->input ? context->input->line : 0;
    const int column = context->input ? context->input->col : 0;
    state->refusal = XmlParseError{XML_ERR_USER_STOP, line, column,
                                   "実体 " + Text(entity->name) + " の中で、" + excess->reason};
  }
  xmlStopParser(context);
  return nullptr;
}

xmlEntity* GuardedEntity(void* user_data, const xmlChar* name) {
  return Guarded(user_data, xmlSAX2GetEntity(user_data, name));
}

xmlEntity* GuardedParameterEntity(void* user_data, const xmlChar* name) {
  return Guarded(user_data, xmlSAX2GetParameterEntity(user_data, name));
}

// libxml2 reports some errors (encoding conversion, input) through its thread's generic
// handlers, which write to standard error; while one parse runs they come to its report, and
// while the text is only being decoded they go nowhere.
class ErrorRouting {
 public:
  explicit ErrorRouting(xmlParserCtxt* context) {
    xmlSetStructuredErrorFunc(context, context ? KeepFirstError : IgnoreError);
    xmlSetGenericErrorFunc(nullptr, Discard);
  }
  ~ErrorRouting() {
    xmlSetStructuredErrorFunc(nullptr, nullptr);
    xmlSetGenericErrorFunc(nullptr, nullptr);
  }
  ErrorRouting(const ErrorRouting&) = delete;
  ErrorRouting& operator=(const ErrorRouting&) = delete;
};

void FillError(xmlParserCtxt* context, const ParseState& state, XmlParseError& error) {
  if (state.refusal) {
    error = *state.refusal;
    return;
  }
  if (state.seen) {
    error = state.first;
    return;
  }
  const xmlError* last = xmlCtxtGetLastError(context);
  if (!last || last->code == XML_ERR_OK) {
    error = XmlParseError{XML_ERR_INTERNAL_ERROR, 0, 0, "the document could not be read\n"};
    return;
  }
  error = XmlParseError{static_cast<unsigned>(last->code), last->line, last->int2,
                        last->message ? last->message : ""};
}

// `raw` converted to UTF-8 by `handler`, as far as it converts.
std::string Converted(xmlCharEncodingHandler* handler, std::string_view raw) {
  std::unique_ptr<xmlBuffer, decltype(&xmlBufferFree)> in(xmlBufferCreate(), xmlBufferFree);
  std::unique_ptr<xmlBuffer, decltype(&xmlBufferFree)> out(xmlBufferCreate(), xmlBufferFree);
  if (!in || !out || xmlBufferAdd(in.get(), reinterpret_cast<const xmlChar*>(raw.data()),
                                  static_cast<int>(raw.size())) != 0) {
    return {};
  }
  // Each call converts what fits in the room it makes; it stops at bytes that do not convert.
  while (xmlBufferLength(in.get()) > 0 && xmlCharEncInFunc(handler, out.get(), in.get()) > 0) {
  }
  return std::string(reinterpret_cast<const char*>(xmlBufferContent(out.get())),
                     static_cast<size_t>(xmlBufferLength(out.get())));
}

bool SameName(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [](char x, char y) { return std::tolower(static_cast<unsigned char>(x)) ==
                                                std::tolower(static_cast<unsigned char>(y)); });
}

// The encoding an XML declaration at the start of `head` (UTF-8) names; empty when none.
std::string DeclaredEncoding(std::string_view head) {
  if (head.starts_with("\xEF\xBB\xBF")) head.remove_prefix(3);
  if (!head.starts_with("<?xml")) return {};
  head = head.substr(0, head.find("?>"));
  size_t at = head.find("encoding");
  if (at == std::string_view::npos) return {};
  at = head.find_first_not_of(" \t\r\n", at + 8);
  if (at == std::string_view::npos || head[at] != '=') return {};
  at = head.find_first_not_of(" \t\r\n", at + 1);
  if (at == std::string_view::npos || (head[at] != '"' && head[at] != '\'')) return {};
  const size_t end = head.find(head[at], at + 1);
  return end == std::string_view::npos ? std::string() : std::string(head.substr(at + 1, end - at - 1));
}

struct HandlerClose {
  void operator()(xmlCharEncodingHandler* handler) const { xmlCharEncCloseFunc(handler); }
};
using Handler = std::unique_ptr<xmlCharEncodingHandler, HandlerClose>;

// The text as the parser will read it, in UTF-8: decoded as its first bytes show (UTF-16, UCS-4,
// EBCDIC) or as its declaration names; none when the parser takes the bytes as they are. Where
// both apply the parser switches after its first line, or not at all when the declaration does not
// fit in it: both readings are given.
std::vector<std::string> ReadableTexts(std::string_view raw) {
  ErrorRouting quiet(nullptr);
  const auto* bytes = reinterpret_cast<const unsigned char*>(raw.data());
  const xmlCharEncoding shown =
      raw.size() >= 4 ? xmlDetectCharEncoding(bytes, 4) : XML_CHAR_ENCODING_NONE;
  Handler first(shown == XML_CHAR_ENCODING_NONE || shown == XML_CHAR_ENCODING_UTF8
                    ? nullptr
                    : xmlGetCharEncodingHandler(shown));
  const size_t head = std::min<size_t>(raw.size(), 1024);
  const std::string name = DeclaredEncoding(first ? Converted(first.get(), raw.substr(0, head))
                                                  : std::string(raw.substr(0, head)));
  Handler declared;
  if (!name.empty() && !SameName(name, "UTF-8") && !SameName(name, "UTF8") && !SameName(name, "UTF-16") &&
      !SameName(name, "UTF16")) {
    declared.reset(xmlFindCharEncodingHandler(name.c_str()));
    if (declared.get() == first.get()) declared.release();
  }
  std::vector<std::string> texts;
  if (first) texts.push_back(Converted(first.get(), raw));
  if (declared && !first) texts.push_back(Converted(declared.get(), raw));
  if (declared && first) {
    const size_t bom = raw.starts_with("\xFF\xFE") || raw.starts_with("\xFE\xFF") ? 2 : 0;
    const size_t line = std::min(raw.size(), bom + (shown == XML_CHAR_ENCODING_UTF16LE ||
                                                            shown == XML_CHAR_ENCODING_UTF16BE
                                                        ? 90
                                                        : 180));
    texts.push_back(Converted(first.get(), raw.substr(0, line)) + Converted(declared.get(), raw.substr(line)));
  }
  return texts;
}

// The first place in the script, read as the parser will, past the bounds.
std::optional<XmlParseError> Excess(std::string_view raw) {
  const std::vector<std::string> texts = ReadableTexts(raw);
  std::vector<std::string_view> readings(texts.begin(), texts.end());
  if (readings.empty()) readings.push_back(raw);
  for (std::string_view text : readings) {
    if (auto excess = MarkupBounds().ScanDocument(text)) {
      return XmlParseError{XML_ERR_USER_STOP, excess->line, excess->column, std::move(excess->reason)};
    }
  }
  return std::nullopt;
}

}  // namespace

bool ParseXmlText(std::string_view text, XmlDocument& document, XmlParseError& error) {
  static std::once_flag setup;
  std::call_once(setup, [] {
    xmlInitParser();
    xmlSetExternalEntityLoader(RefuseExternal);
  });
  std::unique_ptr<xmlParserCtxt, ContextFree> context(xmlNewParserCtxt());
  if (!context) {
    error = XmlParseError{XML_ERR_NO_MEMORY, 0, 0, "out of memory\n"};
    return false;
  }
  if (text.size() > static_cast<size_t>(INT32_MAX)) {
    error = XmlParseError{XML_ERR_NO_MEMORY, 0, 0, "the document is too large\n"};
    return false;
  }
  if (auto excess = Excess(text)) {
    error = std::move(*excess);
    return false;
  }
  ParseState state;
  context->_private = &state;
  context->sax->serror = KeepFirstError;
  context->sax->getEntity = GuardedEntity;
  context->sax->getParameterEntity = GuardedParameterEntity;
  // BIG_LINES: line numbers past 65535 stay true.
  const int options = XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING | XML_PARSE_BIG_LINES;
  std::unique_ptr<xmlDoc, DocFree> parsed;
  {
    ErrorRouting routing(context.get());
    parsed.reset(xmlCtxtReadMemory(context.get(), text.data(), static_cast<int>(text.size()), nullptr,
                                   nullptr, options));
  }
  if (!parsed || !context->wellFormed || state.refusal) {
    FillError(context.get(), state, error);
    return false;
  }
  XmlDocument built;
  xmlNode* root = xmlDocGetRootElement(parsed.get());
  if (root) {
    Expansion expansion;
    built.has_root = true;
    built.root = ElementNode(parsed.get(), root, expansion);
    // A script of a million elements is read in one allocation of each list.
    size_t count = 0;
    for (const xmlNode* child = root->children; child; child = child->next) count += !IsBlank(child);
    built.children.reserve(count);
    for (xmlNode* child = root->children; child && !expansion.exceeded; child = child->next) {
      if (child->type == XML_ELEMENT_NODE) {
        built.children.push_back(ElementNode(parsed.get(), child, expansion));
        for (const xmlNode* inner = child->children; inner && !expansion.exceeded; inner = inner->next) {
          if (inner->type == XML_ELEMENT_NODE) {
            built.children.back().children.push_back(ElementNode(parsed.get(), inner, expansion));
          }
        }
      } else if (!IsBlank(child)) {
        built.children.emplace_back();
      }
    }
    if (expansion.exceeded) {
      error = XmlParseError{XML_ERR_ENTITY_LOOP, static_cast<int>(expansion.line), 1,
                            "属性値の実体参照を展開すると " + std::to_string(kMaxExpansion) +
                                " バイトを超えます\n"};
      return false;
    }
  }
  document = std::move(built);
  return true;
}

bool ParseXmlFile(const std::string& path, XmlDocument& document, XmlParseError& error) {
  std::ifstream file(path, std::ios::binary);
  std::string text;
  if (file) text.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
  if (!file && !file.eof()) {
    error = XmlParseError{XML_IO_LOAD_ERROR, 0, 0, "failed to load \"" + path + "\"\n"};
    return false;
  }
  return ParseXmlText(text, document, error);
}

}  // namespace talmora
