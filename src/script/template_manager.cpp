#include "script/template_manager.h"

namespace talmora {

void TemplateManager::AddTemplates(const TagList& tags) {
  for (const ScriptTag& tag : tags) {
    if (tag.name != "template") continue;
    const auto name = tag.attributes.find("name");
    if (name == tag.attributes.end()) continue;
    templates_.emplace(name->second, tag.attributes);
  }
}

const AttributeMap& TemplateManager::GetTemplate(const std::string& name) const {
  static const AttributeMap empty;
  const auto found = templates_.find(name);
  return found == templates_.end() ? empty : found->second;
}

}  // namespace talmora
