#include "app/object_kinds.h"

#include "audio/sound.h"
#include "video/image.h"
#include "video/text.h"

namespace talmora {

std::span<const ObjectKind> ObjectKinds() {
  static constexpr ObjectKind kKinds[] = {
      {"text", MakeObject<Text>},
      {"image", MakeObject<Image>},
      {"sound", MakeObject<Sound>},
  };
  return kKinds;
}

}  // namespace talmora
