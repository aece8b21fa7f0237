#pragma once

#include "app/command_line.h"

namespace talmora {

class Reporter;

// `--serve`: the preview page for the one script on the command line, on 127.0.0.1 until
// Ctrl-C. Prints the page's address, then nothing but failures to start. Returns -1 for a script
// that cannot be used, 1 when the port cannot be had, 130 once interrupted.
int Serve(const CommandLine& line, Reporter& console);

// The page, as served: HTML with its style and script inside.
extern const char* const kPreviewPage;

}  // namespace talmora
