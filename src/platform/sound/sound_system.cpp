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

Error SoundError(int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(code, text, sizeof text);
  return Error{text, false, code};
}

SoundSystem::SoundSystem() { av_log_set_level(AV_LOG_QUIET); }

Expected<SoundInfo> SoundSystem::MeasureStream(const std::string& path) {
  sound::DecodedFile file;
  int ret = file.Open(path);
  if (ret < 0) return SoundError(ret);
  int64_t length = file.DeclaredLengthMs();
  if (length < 0) {
    ret = file.CountLengthMs(length);
    if (ret < 0) return SoundError(ret);
  }
  SoundInfo info;
  info.length_ms = static_cast<uint32_t>(
      std::min<int64_t>(length, std::numeric_limits<uint32_t>::max()));
  info.rate = file.Codec().sample_rate;
  return info;
}

Expected<SoundInfo> SoundSystem::OpenStream(const std::string& path) {
  sound::DecodedFile file;
  const int ret = file.Open(path);
  if (ret < 0) return SoundError(ret);
  return SoundInfo{0, file.Codec().sample_rate};
}

Expected<std::unique_ptr<SoundDecoder>> SoundSystem::OpenDecoded(const std::string& path, const Playback& playback) {
  auto opened = std::make_unique<sound::ResampledDecoder>(playback);
  const int ret = opened->Open(path);
  if (ret < 0) return SoundError(ret);
  return std::unique_ptr<SoundDecoder>(std::move(opened));
}

}  // namespace talmora
