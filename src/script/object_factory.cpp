#include "script/object_factory.h"

namespace talmora {

std::shared_ptr<Object> ObjectFactory::Create(const ScriptTag& tag) const {
  for (const ObjectKind& kind : kinds_) {
    if (tag.name != kind.tag) continue;
    std::shared_ptr<Object> object = kind.make(context_);
    AttributeMap attributes = tag.attributes;
    object->ReadProperties(attributes);
    object->ReadChildren(attributes, tag.children);
    return object;
  }
  return nullptr;
}

}  // namespace talmora
