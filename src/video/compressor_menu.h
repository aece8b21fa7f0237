#pragma once

#include <istream>
#include <span>

#include "platform/movie/compressor_catalog.h"

namespace talmora {

class Reporter;

// The console stand-in for the compressor dialog. Lists the offered compressors, opens on the
// one in `settings` (the first offered if that one is not), then reads the choice and each
// setting the chosen compressor honours, one line each, from `in`. An empty line keeps what is
// shown, and so does the end of input, so that runs without a terminal still make the movie.
// False when the user cancels with "q"; `settings` then stays as it was.
bool ChooseCompressor(std::span<const CompressorInfo* const> offered, std::istream& in, Reporter& out,
                      CompressorSettings& settings);

// The compressors, one a line: number, code and name.
void PrintCompressors(std::span<const CompressorInfo* const> compressors, Reporter& out);

}  // namespace talmora
