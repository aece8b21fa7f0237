#pragma once

// The script model with a working device, and files for sounds and tracks in a fresh folder.

#include <memory>
#include <string>

#include "audio/sound.h"
#include "audio/wav_header.h"
#include "script/object_factory.h"
#include "sound/sound_files.h"
#include "support/capture_stdout.h"
#include "support/script_fixture.h"
#include "video/device.h"

namespace talmora::testing {

struct AudioFixture : ScriptFixture {
  AudioFixture() {
    CaptureStdout quiet;  // the device's start-up lines
    device = std::make_unique<Device>();
    context.device = device.get();
  }

  // Reads the sound elements of `body` as the sound pass does, in script order.
  std::vector<std::shared_ptr<Sound>> ReadSounds(const std::string& body) {
    std::vector<std::shared_ptr<Sound>> sounds;
    for (const ScriptTag& tag : Load(body)) {
      if (auto sound = factory.CreateSound(tag)) sounds.push_back(sound);
    }
    return sounds;
  }

  // A silent track of `seconds`, as the sound maker leaves it.
  void MakeTrack(double seconds) {
    const int64_t frames = TrackFrames(seconds);
    const WavHeaderBytes header = WavHeader(frames);
    std::string bytes(header.begin(), header.end());
    bytes.resize(bytes.size() + frames * 4);
    test::WriteFile(track, bytes);
  }

  std::unique_ptr<Device> device;
  test::TempDir dir;
  std::string track = dir / "track.wav";
};

}  // namespace talmora::testing
