#include "app/device.h"

#include <glib.h>

extern "C" {
#include <libavutil/log.h>
}

#include "platform/console/reporter.h"

namespace talmora {
namespace {

// The libraries would otherwise write their own diagnostics (a missing font, a broken picture)
// to standard error; the program prints only its own messages. Set once, for the whole process.
void SilenceLibraryLogs() {
  av_log_set_level(AV_LOG_QUIET);
  g_log_set_default_handler([](const gchar*, GLogLevelFlags, const gchar*, gpointer) {}, nullptr);
}

}  // namespace

Device::Device(Reporter& reporter) {
  SilenceLibraryLogs();
  graphics_ = std::make_unique<GraphicsDevice>();
  reporter.Line("D3DDevice::Initialize() : DirectXの初期化に成功しました");
  sound_system_ = std::make_unique<SoundSystem>();
  reporter.Line("FMODライブラリの初期化に成功しました");
}

// Released in reverse: the sound system first, then the renderer.
Device::~Device() {
  sound_system_.reset();
  graphics_.reset();
}

}  // namespace talmora
