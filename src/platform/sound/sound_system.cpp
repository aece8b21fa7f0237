#include "platform/sound/sound_system.h"

#include <algorithm>
#include <limits>

#include "platform/sound/decoded_file.h"
#include "platform/sound/resampled_decoder.h"

extern "C" {
#include <libavutil/error.h>
#include <libavutil/log.h>
}

namespace talmora {

SoundStatus SoundStatus::Failure(int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(code, text, sizeof text);
  return {code, text};
}

SoundSystem::SoundSystem() { av_log_set_level(AV_LOG_QUIET); }

SoundStatus SoundSystem::OpenStream(const std::string& path, SoundInfo& info) {
  sound::DecodedFile file;
  int ret = file.Open(path);
  if (ret < 0) return SoundStatus::Failure(ret);
  int64_t length = file.DeclaredLengthMs();
  if (length < 0) {
    ret = file.CountLengthMs(length);
    if (ret < 0) return SoundStatus::Failure(ret);
  }
  info.length_ms = static_cast<uint32_t>(
      std::min<int64_t>(length, std::numeric_limits<uint32_t>::max()));
  info.rate = file.Codec().sample_rate;
  return {};
}

SoundStatus SoundSystem::OpenStream(const std::string& path) {
  sound::DecodedFile file;
  const int ret = file.Open(path);
  return ret < 0 ? SoundStatus::Failure(ret) : SoundStatus{};
}

SoundStatus SoundSystem::OpenDecoded(const std::string& path, const Playback& playback,
                                     std::unique_ptr<SoundDecoder>& decoder) {
  auto opened = std::make_unique<sound::ResampledDecoder>(playback);
  const int ret = opened->Open(path);
  if (ret < 0) return SoundStatus::Failure(ret);
  decoder = std::move(opened);
  return {};
}

}  // namespace talmora
