#pragma once

#include <memory>

#include "script/attribute_map.h"
#include "script/script_context.h"

namespace talmora {

class VideoObject;
class Sound;

// Turns tags into objects. Both passes build and read every "text", "image" and "sound" tag, so
// the keeper records and messages are the same in each; a pass keeps only its own kind.
class ObjectFactory {
 public:
  explicit ObjectFactory(ScriptContext& context) : context_(context) {}
  virtual ~ObjectFactory() = default;

  std::shared_ptr<VideoObject> CreateVideoObject(const ScriptTag& tag) const;
  std::shared_ptr<Sound> CreateSound(const ScriptTag& tag) const;

 private:
  ScriptContext& context_;
};

}  // namespace talmora
