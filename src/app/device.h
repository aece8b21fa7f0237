#pragma once

#include <memory>

#include "platform/render/graphics_device.h"
#include "platform/sound/sound_system.h"

namespace talmora {

class Reporter;

// Owns the connections to the renderer and the sound decoder for the whole run. Its start-up
// lines are the first the program prints.
class Device {
 public:
  explicit Device(Reporter& reporter);
  ~Device();
  Device(const Device&) = delete;
  Device& operator=(const Device&) = delete;

  // Empty when that service did not come up; callers stop with a message then.
  GraphicsDevice* Graphics() { return graphics_.get(); }
  SoundSystem* Sounds() { return sound_system_.get(); }

 private:
  std::unique_ptr<GraphicsDevice> graphics_;
  std::unique_ptr<SoundSystem> sound_system_;
};

}  // namespace talmora
