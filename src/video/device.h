#pragma once

#include <memory>

#include "platform/render/graphics_device.h"
#include "platform/render/sprite.h"
#include "platform/sound/sound_system.h"

namespace talmora {

// Owns the connections to the renderer and the sound decoder for the whole run. Its start-up
// lines are the first the program prints.
class Device {
 public:
  Device();
  virtual ~Device();
  Device(const Device&) = delete;
  Device& operator=(const Device&) = delete;

  // Empty when that service did not come up; callers stop with a message then.
  GraphicsDevice* GetDevice() { return device_.get(); }
  Sprite* GetSprite() { return sprite_.get(); }
  SoundSystem* GetSoundSystem() { return sound_system_.get(); }

 private:
  std::unique_ptr<GraphicsDevice> device_;
  std::unique_ptr<Sprite> sprite_;
  std::unique_ptr<SoundSystem> sound_system_;
};

}  // namespace talmora
