#include "video/device.h"

extern "C" {
#include <libavutil/log.h>
}

#include "platform/console/print_line.h"

namespace talmora {

Device::Device() {
  // The decoders would otherwise write their own diagnostics to standard error.
  av_log_set_level(AV_LOG_QUIET);
  device_ = std::make_unique<GraphicsDevice>();
  sprite_ = std::make_unique<Sprite>();
  PrintLine("D3DDevice::Initialize() : DirectXの初期化に成功しました");
  sound_system_ = std::make_unique<SoundSystem>();
  PrintLine("FMODライブラリの初期化に成功しました");
}

// Released in reverse: the sound system first, then the sprite and the device.
Device::~Device() {
  sound_system_.reset();
  sprite_.reset();
  device_.reset();
}

}  // namespace talmora
