#include "audio/sound.h"

#include "script/file_path.h"

namespace talmora {

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

void Sound::TakeLengthFromFile() {}

void Sound::Draw(double /*time*/) {}

}  // namespace talmora
