#include "platform/console/reporter.h"

#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <utility>

namespace talmora {
namespace {

[[noreturn]] void ExitAsBrokenPipe() { ::_exit(128 + SIGPIPE); }
// Process-wide as the signal is: one stdout, one way to leave when its reader goes.
void (*output_gone)() = ExitAsBrokenPipe;

void Write(std::string_view text, bool line_feed) {
  errno = 0;
  std::fwrite(text.data(), 1, text.size(), stdout);
  if (line_feed) std::fputc('\n', stdout);
  const bool failed = std::fflush(stdout) != 0 || std::ferror(stdout);
  // Whoever read the lines has gone (`| head`): nobody is left to tell of the rest.
  if (failed && errno == EPIPE) {
    output_gone();
    ExitAsBrokenPipe();
  }
}

}  // namespace

bool Reporter::Refused(const Refusal& refusal) {
  if (refusal.Quiet()) return false;
  if (!refusal.words.empty()) {
    Line("警告 : " + (refusal.line > 0 ? std::to_string(refusal.line) + "行目 : " : std::string()) + refusal.words);
    return true;
  }
  Line(InvalidValueLine(refusal.name, refusal.text));
  return true;
}

void ConsoleReporter::Line(std::string_view text) { Write(text, true); }

void ConsoleReporter::Raw(std::string_view text) { Write(text, false); }

void HeldReporter::Line(std::string_view text) {
  text_.append(text);
  text_.push_back('\n');
}

std::string HeldReporter::Take() { return std::exchange(text_, {}); }

void OnStandardOutputGone(void (*end)()) { output_gone = end; }

}  // namespace talmora
