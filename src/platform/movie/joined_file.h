#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace talmora {

// Whether the container named by `path`'s extension (.mkv, .mp4, .mov, .avi, any case) holds
// frames of the compressor `fourcc`.
bool ContainerHolds(std::string_view path, uint32_t fourcc);

// The extension of a container that holds frames of `fourcc` (".mkv" first).
std::string_view ContainerFor(uint32_t fourcc);

struct JoinedSources {
  std::string avi;  // the rendered movie
  std::string wav;  // its sound track; empty: the file gets no sound
};

// Writes `path`: the AVI's video stream copied packet for packet (uncompressed frames turned the
// right way up outside AVI), and the WAV's samples as 16-bit PCM, or as AAC where the container
// takes no PCM (.mp4). The file appears under `path` only once complete. Empty on success, else
// the cause of the failure.
std::string WriteJoinedFile(const std::string& path, const JoinedSources& sources);

}  // namespace talmora
