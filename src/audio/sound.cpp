#include "audio/sound.h"

#include <memory>

#include "audio/sound_mixer.h"
#include "audio/wav_header.h"
#include "platform/console/print_line.h"
#include "platform/sound/sound_system.h"
#include "script/file_path.h"

namespace talmora {
namespace {

SoundSystem* SoundSystemOf(const ScriptContext& context) { return context.sounds; }

void PrintNoSoundSystem(const std::string& path) {
  PrintLine("エラー : サウンドシステムが使用できません : " + path);
}

void PrintLoadFailure(const std::string& path, int result) {
  PrintLine("サウンドの読み込みに失敗しました : " + path + "(" + std::to_string(result) + ")");
}

}  // namespace

void Sound::ReadProperties(AttributeMap& attributes) {
  Object::ReadProperties(attributes);
  ReadFlag(attributes, "loop", loop);
  ReadInteger(attributes, "loopcount", loopcount);
  ReadNumber(attributes, "loopstart", loopstart);
  ReadNumber(attributes, "loopend", loopend);
  ReadNumber(attributes, "frequency", frequency);
  ReadNumber(attributes, "volume", volume);
  ReadNumber(attributes, "pan", pan);
  if (!ReadText(attributes, "src", path)) return;
  if (auto full = ReadableFilePath(path)) path = std::move(*full);
  TakeLengthFromFile();
}

void Sound::TakeLengthFromFile() {
  SoundSystem* system = SoundSystemOf(context_);
  if (!system) {
    PrintNoSoundSystem(path);
    return;
  }
  // A window of its own needs only the proof that the file decodes, not its length.
  if (end != start) {
    if (const int result = system->OpenStream(path); result != 0) PrintLoadFailure(path, result);
    return;
  }
  uint32_t length_ms = 0;
  if (const int result = system->OpenStream(path, length_ms); result != 0) {
    PrintLoadFailure(path, result);
    return;
  }
  const double seconds = static_cast<double>(length_ms) * 0.001;
  end = start + seconds;
  StoreNumber("timeend", end);
  StoreNumber("duration", seconds);
}

void Sound::Draw(double /*time*/) {
  SoundSystem* system = SoundSystemOf(context_);
  if (!system) {
    PrintNoSoundSystem(path);
    return;
  }
  std::unique_ptr<SoundDecoder> decoder;
  if (const int result = system->OpenDecoded(path, decoder); result != 0) {
    PrintLoadFailure(path, result);
    return;
  }
  if (decoder->Channels() != 2) {
    PrintLine("サウンドがステレオ(2ch)ではありません : " + path + "(0)");
    return;
  }
  if (decoder->BitsPerSample() != 16) {
    PrintLine("サウンドのサンプルビットが16bitではありません : " + path + "(0)");
    return;
  }
  // The loop, frequency, volume and pan settings are playback defaults; the mix uses none.
  PrintLine(path);
  SoundMixer(outputPath).Mix(*decoder, TrackFrames(start), TrackFrames(end - start));
}

}  // namespace talmora
