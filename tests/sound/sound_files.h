#pragma once

// Sound files for tests, made on the spot: 16- or 24-bit PCM WAVs written here, other formats
// encoded from them by the ffmpeg command.

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "support/cli_harness.h"

namespace talmora::test {

// A canonical PCM WAV of interleaved 16-bit `samples`, stored in `bits` bits.
inline std::string Wav(uint32_t rate, int channels, int bits, const std::vector<int16_t>& samples) {
  std::string out;
  auto put = [&out](uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>(value >> (8 * i)));
  };
  const uint64_t data_bytes = samples.size() * bits / 8;
  out += "RIFF";
  put(data_bytes + 36, 4);
  out += "WAVEfmt ";
  put(16, 4);
  put(1, 2);
  put(channels, 2);
  put(rate, 4);
  put(uint64_t{rate} * channels * bits / 8, 4);
  put(channels * bits / 8, 2);
  put(bits, 2);
  out += "data";
  put(data_bytes, 4);
  for (int16_t s : samples) put(static_cast<uint32_t>(s) << (bits - 16), bits / 8);
  return out;
}

// `frames` frames of deterministic white noise over the whole 16-bit range.
inline std::vector<int16_t> Noise(int channels, int64_t frames, uint32_t seed = 12345) {
  std::vector<int16_t> samples(static_cast<size_t>(frames * channels));
  for (int16_t& s : samples) {
    seed = seed * 1664525u + 1013904223u;
    s = static_cast<int16_t>(seed >> 16);
  }
  return samples;
}

// The 16-bit samples of a track's data area (from byte 44 on), interleaved.
inline std::vector<int16_t> TrackSamples(const std::string& path) {
  const std::string bytes = testing::ReadFile(path);
  std::vector<int16_t> samples(bytes.size() > 44 ? (bytes.size() - 44) / 2 : 0);
  std::memcpy(samples.data(), bytes.data() + 44, samples.size() * 2);
  return samples;
}

// Encodes `source` into `target` (format from its extension) with the ffmpeg command.
inline bool Encode(const std::string& source, const std::string& target, const std::string& options = "") {
  return testing::Ffmpeg("-i '" + source + "' " + options + " '" + target + "'");
}

}  // namespace talmora::test
