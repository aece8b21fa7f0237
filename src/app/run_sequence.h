#pragma once

#include <istream>

#include "app/command_line.h"

namespace talmora {

struct Runtime;

// The whole run for one script: check, load, the movie pass, the sound pass, the closing wait.
// Returns the process exit status: -1 for a command line or script that cannot be used, else the
// run's outcome (0 all written, 1 an output missing or cut short, 2 something the script asked
// for failed).
int RunSequence(Runtime& runtime, CommandLine command_line, std::istream& input);

}  // namespace talmora
