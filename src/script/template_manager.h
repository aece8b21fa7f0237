#pragma once

#include <map>
#include <string>

#include "script/attribute_map.h"

namespace talmora {

// Named attribute sets from the script's "template" elements; the first definition of a name wins.
class TemplateManager {
 public:
  virtual ~TemplateManager() = default;

  void AddTemplates(const TagList& tags);
  // The shared empty map when no template has this name.
  const AttributeMap& GetTemplate(const std::string& name) const;
  // The template's own elements (its keys), lent as its attributes are; empty as above.
  const std::vector<ScriptTag>& GetTemplateChildren(const std::string& name) const;

 private:
  std::map<std::string, AttributeMap> templates_;
  std::map<std::string, std::vector<ScriptTag>> children_;
};

}  // namespace talmora
