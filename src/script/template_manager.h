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

 private:
  std::map<std::string, AttributeMap> templates_;
};

}  // namespace talmora
