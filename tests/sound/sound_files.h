#pragma once

// Sound files for tests, made on the spot: PCM WAVs written here, other formats encoded from
// them by the ffmpeg command.

#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace talmora::test {

// A fresh folder under the system's temporary folder, removed with everything in it.
class TempDir {
 public:
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "talmora-XXXXXX").string();
    path_ = ::mkdtemp(pattern.data()) ? pattern : std::string();
  }
  ~TempDir() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& Path() const { return path_; }
  std::string operator/(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

inline void PutLE(std::string& out, uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

// A canonical PCM WAV. `samples` are interleaved integers of `bits` bits (8-bit ones are
// given signed and stored offset, as WAV keeps them); `format` 3 marks 32-bit floats, whose
// bit patterns are then passed in `samples`.
inline std::string WavBytes(uint32_t rate, int channels, int bits,
                            const std::vector<int32_t>& samples, int format = 1) {
  const int sample_bytes = bits / 8;
  const uint64_t data_bytes = samples.size() * sample_bytes;
  std::string out = "RIFF";
  PutLE(out, data_bytes + 36, 4);
  out += "WAVEfmt ";
  PutLE(out, 16, 4);
  PutLE(out, format, 2);
  PutLE(out, channels, 2);
  PutLE(out, rate, 4);
  PutLE(out, uint64_t{rate} * channels * sample_bytes, 4);
  PutLE(out, channels * sample_bytes, 2);
  PutLE(out, bits, 2);
  out += "data";
  PutLE(out, data_bytes, 4);
  for (int32_t s : samples) {
    PutLE(out, bits == 8 ? static_cast<uint32_t>(s + 128) : static_cast<uint32_t>(s), sample_bytes);
  }
  return out;
}

inline void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// `frames` frames of a sine of `hz` at `rate`, the same on every channel.
inline std::vector<int32_t> Sine(int rate, int channels, int64_t frames, double hz,
                                 double amplitude) {
  std::vector<int32_t> samples;
  samples.reserve(static_cast<size_t>(frames * channels));
  for (int64_t i = 0; i < frames; ++i) {
    const auto value = static_cast<int32_t>(std::lround(amplitude * std::sin(2 * M_PI * hz * i / rate)));
    for (int c = 0; c < channels; ++c) samples.push_back(value);
  }
  return samples;
}

// `frames` frames of deterministic white noise spanning the whole 16-bit range.
inline std::vector<int32_t> Noise(int channels, int64_t frames, uint32_t seed = 12345) {
  std::vector<int32_t> samples(static_cast<size_t>(frames * channels));
  for (int32_t& s : samples) {
    seed = seed * 1664525u + 1013904223u;
    s = static_cast<int16_t>(seed >> 16);
  }
  return samples;
}

inline void WriteWav(const std::string& path, int rate, int channels, int bits,
                     const std::vector<int32_t>& samples) {
  WriteFile(path, WavBytes(rate, channels, bits, samples));
}

// The 16-bit samples of a canonical WAV's data area (from byte 44 on), interleaved.
inline std::vector<int16_t> TrackSamples(const std::string& path) {
  const std::string bytes = ReadFile(path);
  std::vector<int16_t> samples(bytes.size() > 44 ? (bytes.size() - 44) / 2 : 0);
  for (size_t i = 0; i < samples.size(); ++i) {
    samples[i] = static_cast<int16_t>(static_cast<uint8_t>(bytes[44 + 2 * i]) |
                                      static_cast<uint8_t>(bytes[45 + 2 * i]) << 8);
  }
  return samples;
}

// Encodes `source` into `target` (format from its extension) with the ffmpeg command.
inline bool Encode(const std::string& source, const std::string& target,
                   const std::string& options = "") {
  const std::string command = "ffmpeg -nostdin -v quiet -y -i '" + source + "' " + options +
                              " '" + target + "' >/dev/null 2>&1";
  return std::system(command.c_str()) == 0;
}

}  // namespace talmora::test
