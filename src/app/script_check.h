#pragma once

#include <string>

#include "script/attribute_map.h"

namespace talmora {

class Reporter;
struct Runtime;
class RunOutcome;

// `--check`: loads the script at `full_path` and reads it as a render would, opens the pictures
// and sounds it names, and prints every problem as "PATH:LINE: <element>: message" with
// `shown_path` as PATH, then a count line; nothing is rendered or written. Returns 0 for a
// clean script, 2 when it has problems, 1 when it does not load (the loader's lines printed).
int CheckScriptFile(Runtime& runtime, const std::string& full_path, const std::string& shown_path);

// For a render, once the script is read: one line with how many names in it no reader reads, which
// makes the run one where something the script asked for failed. Nothing for a clean script.
void ReportUnreadNames(const TagList& tags, Reporter& reporter, RunOutcome& outcome);

}  // namespace talmora
