#include <iostream>

#include "app/command_line.h"
#include "app/run_sequence.h"
#include "app/runtime.h"
#include "app/version.h"
#include "platform/console/reporter.h"
#include "serve/serve.h"

int main(int argc, char** argv) {
  talmora::CommandLine command_line = talmora::ParseCommandLine(argc, argv);
  // Asked for help or the version, the user wants that text alone, not the device's start-up lines.
  if (command_line.error.empty() && (command_line.help || command_line.version)) {
    std::cout << (command_line.help ? talmora::UsageText() : talmora::VersionText()) << std::flush;
    return 0;
  }
  if (command_line.error.empty() && command_line.serve) {
    talmora::ConsoleReporter console;
    return talmora::Serve(command_line, console);
  }
  // The check speaks only in its own lines, without the device's start-up lines.
  talmora::ConsoleReporter console;
  talmora::HeldReporter quiet;
  const bool check = command_line.check && command_line.error.empty();
  talmora::Runtime runtime(console, check ? static_cast<talmora::Reporter&>(quiet) : console);
  return talmora::RunSequence(runtime, std::move(command_line), std::cin);
}
