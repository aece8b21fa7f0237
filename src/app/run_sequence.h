#pragma once

#include <istream>

#include "app/command_line.h"

namespace talmora {

struct Runtime;

// The whole run for one script: check, load, the movie pass, the sound pass, the closing wait.
// Returns the process exit status.
int RunSequence(Runtime& runtime, CommandLine command_line, std::istream& input);

}  // namespace talmora
