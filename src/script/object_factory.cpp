#include "script/object_factory.h"

#include "audio/sound.h"
#include "video/image.h"
#include "video/text.h"

namespace talmora {
namespace {

// Builds the object and reads it from a private copy of the tag's attributes: the tag list is
// read again by the other pass and must not change.
template <typename T>
std::shared_ptr<T> Build(ScriptContext& context, const ScriptTag& tag) {
  auto object = std::make_shared<T>(context);
  AttributeMap attributes = tag.attributes;
  object->ReadProperties(attributes);
  return object;
}

}  // namespace

std::shared_ptr<VideoObject> ObjectFactory::CreateVideoObject(const ScriptTag& tag) const {
  if (tag.name == "text") return Build<Text>(context_, tag);
  if (tag.name == "image") return Build<Image>(context_, tag);
  if (tag.name == "sound") Build<Sound>(context_, tag);
  return nullptr;
}

std::shared_ptr<Sound> ObjectFactory::CreateSound(const ScriptTag& tag) const {
  if (tag.name == "text") Build<Text>(context_, tag);
  else if (tag.name == "image") Build<Image>(context_, tag);
  else if (tag.name == "sound") return Build<Sound>(context_, tag);
  return nullptr;
}

}  // namespace talmora
