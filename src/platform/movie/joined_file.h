#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/movie/movie_file.h"

namespace talmora {

// The extensions of the containers a joined file can be, lower case, in the order they are named
// to the user (".mkv .mp4 .mov .avi").
std::vector<std::string_view> JoinedExtensions();

// Whether the container named by `path`'s extension (any case) holds frames of the compressor
// `fourcc`.
bool ContainerHolds(std::string_view path, uint32_t fourcc);

// The extension of a container that holds frames of `fourcc` (".mkv" first).
std::string_view ContainerFor(uint32_t fourcc);

// A track's samples encoded for a container that takes no PCM, which can be done before the
// join (while the frames render). The packets wait in an unnamed temporary file, gone with the
// process: an hour of them is some 86 MB.
class EncodedSound;
struct EncodedSoundDeleter {
  void operator()(EncodedSound* sound) const;
};
using EncodedSoundPtr = std::unique_ptr<EncodedSound, EncodedSoundDeleter>;

// Whether a joined file at `path` needs its track encoded.
bool JoinedSoundIsEncoded(std::string_view path);
// The WAV at `wav` encoded for the joined file at `path`; empty when it could not be, and the
// join then encodes it itself (and says why it fails).
EncodedSoundPtr EncodeJoinedSound(std::string_view path, const std::string& wav);

struct JoinedSources {
  std::string avi;  // the rendered movie
  std::string wav;  // its sound track; empty: the file gets no sound
  EncodedSound* encoded = nullptr;  // the track encoded ahead, if it was
};

// Writes `path`: the AVI's video stream copied packet for packet (uncompressed frames turned the
// right way up outside AVI), and the WAV's samples as 16-bit PCM, or as AAC where the container
// takes no PCM (.mp4). The file appears under `path` only once complete. Empty on success, else
// the cause of the failure.
std::string WriteJoinedFile(const std::string& path, const JoinedSources& sources);

// One part of a movie to join: its AVI and how many frames it holds.
struct MoviePiece {
  std::string path;
  int32_t frames = 0;
};

// Writes the AVI at `path` as `container` lays out `stream`, described by `parameters` as the
// compressor described it to the render, with the pieces' packets one after another as they
// are, key flags and all: the file a render of all the frames in one go writes. It appears under
// `path` only once complete. Empty on success, else the cause, with `failed_piece` the index of
// the piece that could not be read or did not hold its frames (-1 when the fault is the output's).
std::string JoinMoviePieces(const std::string& path, const MovieContainer& container, const MovieStream& stream,
                            const AVCodecParameters& parameters, const std::vector<MoviePiece>& pieces,
                            int& failed_piece);

}  // namespace talmora
