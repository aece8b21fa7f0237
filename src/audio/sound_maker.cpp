#include "audio/sound_maker.h"

#include <algorithm>

#include "audio/sound.h"
#include "script/object_factory.h"

namespace talmora {

SoundMaker::SoundMaker(const ObjectFactory& factory, double length)
    : length(length), factory_(factory) {}

SoundMaker::~SoundMaker() = default;

void SoundMaker::ReadProperties(const TagList& tags) {
  for (const ScriptTag& tag : tags) {
    if (auto sound = factory_.CreateSound(tag)) sounds_.push_back(std::move(sound));
  }
  // Stable, so equal sounds keep script order and their console lines a fixed order.
  std::stable_sort(sounds_.begin(), sounds_.end(),
                   [](const auto& p, const auto& q) { return ActivatesAfter(*p, *q); });
}

void SoundMaker::Make(const std::string& /*path*/) {}

}  // namespace talmora
