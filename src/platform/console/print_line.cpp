#include "platform/console/print_line.h"

#include <cstdio>

namespace talmora {
namespace {

ConsoleCapture* active_capture = nullptr;

void Write(std::string_view text, bool line_feed) {
  if (active_capture) {
    active_capture->Append(text, line_feed);
    return;
  }
  std::fwrite(text.data(), 1, text.size(), stdout);
  if (line_feed) std::fputc('\n', stdout);
  std::fflush(stdout);
}

}  // namespace

ConsoleCapture::ConsoleCapture() : outer_(active_capture) { active_capture = this; }

ConsoleCapture::~ConsoleCapture() { active_capture = outer_; }

void ConsoleCapture::Append(std::string_view text, bool line_feed) {
  text_.append(text);
  if (line_feed) text_.push_back('\n');
}

void PrintLine(std::string_view text) { Write(text, true); }

void PrintRaw(std::string_view text) { Write(text, false); }

}  // namespace talmora
