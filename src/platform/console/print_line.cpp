#include "platform/console/print_line.h"

#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>

namespace talmora {
namespace {

ConsoleCapture* active_capture = nullptr;

[[noreturn]] void ExitAsBrokenPipe() { ::_exit(128 + SIGPIPE); }
void (*output_gone)() = ExitAsBrokenPipe;

void Write(std::string_view text, bool line_feed) {
  if (active_capture) {
    active_capture->Append(text, line_feed);
    return;
  }
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

ConsoleCapture::ConsoleCapture() : outer_(active_capture) { active_capture = this; }

ConsoleCapture::~ConsoleCapture() { active_capture = outer_; }

void ConsoleCapture::Append(std::string_view text, bool line_feed) {
  text_.append(text);
  if (line_feed) text_.push_back('\n');
}

void OnStandardOutputGone(void (*end)()) { output_gone = end; }

void PrintLine(std::string_view text) { Write(text, true); }

void PrintRaw(std::string_view text) { Write(text, false); }

}  // namespace talmora
