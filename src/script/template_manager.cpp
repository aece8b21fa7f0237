#include "script/template_manager.h"

namespace talmora {

void TemplateManager::AddTemplates(const TagList& tags) {
  for (const ScriptTag& tag : tags) {
    if (tag.name != "template") continue;
    const auto name = tag.attributes.find("name");
    if (name == tag.attributes.end()) continue;
    if (templates_.emplace(name->second, tag.attributes).second && !tag.children.empty()) {
      children_.emplace(name->second, tag.children);
    }
  }
}

const std::vector<ScriptTag>& TemplateManager::GetTemplateChildren(const std::string& name) const {
  static const std::vector<ScriptTag> none;
  const auto found = children_.find(name);
  return found == children_.end() ? none : found->second;
}

const AttributeMap& TemplateManager::GetTemplate(const std::string& name) const {
  static const AttributeMap empty;
  const auto found = templates_.find(name);
  return found == templates_.end() ? empty : found->second;
}

}  // namespace talmora
