#pragma once

#include <cstdint>

#include "platform/movie/compressor_settings.h"
#include "video/movie_options.h"

namespace talmora {

class Reporter;

// Checks the compressor options before anything is read or written: a code that names no
// compressor here, or a setting out of its range, prints its message and gives false.
bool CheckMovieOptions(const MovieOptions& options, Reporter& reporter);

// `--list-codecs`: the compressors this build has, code and name.
void ListCompressors(Reporter& reporter);

enum class CompressorChoice { kChosen, kCancelled, kRefused, kUnfit };

// The compressor for frames of this size at `fps`: the one given on the command line, or else the
// one picked in the console menu, which reads `options.input` (no input accepts what it opens
// on). The settings given on the command line are the menu's starting values. kRefused: the
// command line's compressor does not take these frames. kUnfit: `options.admits` turned down
// the menu's pick.
CompressorChoice ChooseMovieCompressor(const MovieOptions& options, int32_t width, int32_t height, int32_t fps,
                                       Reporter& reporter, CompressorSettings& settings);

}  // namespace talmora
