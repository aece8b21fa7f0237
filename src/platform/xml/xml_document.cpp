#include "platform/xml/xml_document.h"

#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xmlerror.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <mutex>

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

XmlNode ChildNode(xmlDoc* document, xmlNode* child, Expansion& expansion) {
  if (child->type == XML_ELEMENT_NODE) return ElementNode(document, child, expansion);
  XmlNode node;
  node.kind = child->type == XML_TEXT_NODE && xmlIsBlankNode(child) ? XmlNode::Kind::kBlank
                                                                     : XmlNode::Kind::kOther;
  return node;
}

// The parser goes on after the first error and reports follow-on errors; the first names the cause.
struct FirstError {
  bool seen = false;
  XmlParseError error;
};

void KeepFirstError(void* user_data, xmlError* error) {
  auto* context = static_cast<xmlParserCtxt*>(user_data);
  auto* first = context ? static_cast<FirstError*>(context->_private) : nullptr;
  if (!first || first->seen || !error || error->level < XML_ERR_ERROR) return;
  first->seen = true;
  first->error = XmlParseError{static_cast<unsigned>(error->code), error->line, error->int2,
                               error->message ? error->message : ""};
  // Errors raised without the parser (the input's encoding conversion) carry no place.
  if (first->error.line == 0 && context->input) {
    first->error.line = context->input->line;
    first->error.column = context->input->col;
  }
}

void Discard(void*, const char*, ...) {}

// libxml2 reports some errors (encoding conversion, input) through its thread's generic
// handlers, which write to standard error; while one parse runs they come to its report.
class ErrorRouting {
 public:
  explicit ErrorRouting(xmlParserCtxt* context) {
    xmlSetStructuredErrorFunc(context, KeepFirstError);
    xmlSetGenericErrorFunc(nullptr, Discard);
  }
  ~ErrorRouting() {
    xmlSetStructuredErrorFunc(nullptr, nullptr);
    xmlSetGenericErrorFunc(nullptr, nullptr);
  }
  ErrorRouting(const ErrorRouting&) = delete;
  ErrorRouting& operator=(const ErrorRouting&) = delete;
};

void FillError(xmlParserCtxt* context, const FirstError& first, XmlParseError& error) {
  if (first.seen) {
    error = first.error;
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
  FirstError first;
  context->_private = &first;
  context->sax->serror = KeepFirstError;
  // BIG_LINES: line numbers past 65535 stay true.
  const int options = XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING | XML_PARSE_BIG_LINES;
  std::unique_ptr<xmlDoc, DocFree> parsed;
  {
    ErrorRouting routing(context.get());
    parsed.reset(xmlCtxtReadMemory(context.get(), text.data(), static_cast<int>(text.size()), nullptr,
                                   nullptr, options));
  }
  if (!parsed || !context->wellFormed) {
    FillError(context.get(), first, error);
    return false;
  }
  XmlDocument built;
  xmlNode* root = xmlDocGetRootElement(parsed.get());
  if (root) {
    Expansion expansion;
    built.has_root = true;
    built.root = ElementNode(parsed.get(), root, expansion);
    for (xmlNode* child = root->children; child && !expansion.exceeded; child = child->next) {
      built.children.push_back(ChildNode(parsed.get(), child, expansion));
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
