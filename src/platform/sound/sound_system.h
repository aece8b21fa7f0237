#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace talmora {

// A sound file decoded as a stream: 44100 Hz, stereo, signed 16-bit interleaved output,
// delivered in order from the start of the file.
class SoundDecoder {
 public:
  virtual ~SoundDecoder() = default;
  // Of the source, as the file says (lossy formats report 16).
  virtual int Channels() const = 0;
  virtual int BitsPerSample() const = 0;
  // Decodes up to `frames` frames into `out` (2 values a frame); `got` is how many came.
  // Returns 0, or a negative decoder error code. got < frames with 0 means the end.
  virtual int Read(int16_t* out, int frames, int& got) = 0;
};

// The decoding layer. Result codes are 0 for success or the decoder's own negative codes.
class SoundSystem {
 public:
  // Silences the decoder library's own logging: the program writes nothing to standard error.
  SoundSystem();

  // Opens the file only to learn its length in whole milliseconds, counted by decoding where
  // the container cannot state it exactly.
  int OpenStream(const std::string& path, uint32_t& length_ms);
  // Opens the file only to learn that it decodes; spares the count when the length is not needed.
  int OpenStream(const std::string& path);
  // Opens the file for decoding from its start; `decoder` is set only on success.
  int OpenDecoded(const std::string& path, std::unique_ptr<SoundDecoder>& decoder);
};

}  // namespace talmora
