#pragma once

#include <cstdint>
#include <string>

#include "script/object.h"

namespace talmora {

// A sound file mixed into the sound track at its start time, for the length of its window.
class Sound : public Object {
 public:
  explicit Sound(ScriptContext& context) : Object(context) {}

  void ReadProperties(AttributeMap& attributes) override;
  // Adds the decoded samples into the sound file at `outputPath`; `time` is not used.
  void Draw(double time);

  std::string path;
  std::string outputPath;
  // Playback defaults: read and kept, but the mix applies none of them.
  int32_t loopcount = 0;
  double loopstart = 0.0;
  double loopend = 0.0;
  bool loop = false;
  double frequency = 44100.0;
  double volume = 1.0;
  double pan = 0.0;

 private:
  // Opens the file for its length; a window without its own length ends with the file.
  void TakeLengthFromFile();
};

}  // namespace talmora
