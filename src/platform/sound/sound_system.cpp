#include "platform/sound/sound_system.h"

#include <algorithm>
#include <limits>

#include "platform/sound/decoded_file.h"
#include "platform/sound/resampled_decoder.h"

extern "C" {
#include <libavutil/log.h>
}

namespace talmora {

SoundSystem::SoundSystem() { av_log_set_level(AV_LOG_QUIET); }

int SoundSystem::OpenStream(const std::string& path, uint32_t& length_ms) {
  sound::DecodedFile file;
  int ret = file.Open(path);
  if (ret < 0) return ret;
  int64_t length = file.DeclaredLengthMs();
  if (length < 0) {
    ret = file.CountLengthMs(length);
    if (ret < 0) return ret;
  }
  length_ms = static_cast<uint32_t>(
      std::min<int64_t>(length, std::numeric_limits<uint32_t>::max()));
  return 0;
}

int SoundSystem::OpenStream(const std::string& path) {
  sound::DecodedFile file;
  return file.Open(path);
}

int SoundSystem::OpenDecoded(const std::string& path, std::unique_ptr<SoundDecoder>& decoder) {
  auto opened = std::make_unique<sound::ResampledDecoder>();
  const int ret = opened->Open(path);
  if (ret < 0) return ret;
  decoder = std::move(opened);
  return 0;
}

}  // namespace talmora
