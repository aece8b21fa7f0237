#pragma once

#include <string>
#include <string_view>

namespace talmora {

// Every message of the program: standard output, a line feed, then a flush.
void PrintLine(std::string_view text);

// Output without a line feed (the frame counter), flushed at once.
void PrintRaw(std::string_view text);

// What ends the process when standard output's reader has gone (a write fails with EPIPE, SIGPIPE
// being ignored). By default it ends at once with status 141, as SIGPIPE would end it.
void OnStandardOutputGone(void (*end)());

// While one exists, PrintLine and PrintRaw add to it instead of writing: for a run that reports
// in a format of its own and decides which of the usual lines still reach the user.
class ConsoleCapture {
 public:
  ConsoleCapture();
  ~ConsoleCapture();
  ConsoleCapture(const ConsoleCapture&) = delete;
  ConsoleCapture& operator=(const ConsoleCapture&) = delete;

  const std::string& Text() const { return text_; }
  void Append(std::string_view text, bool line_feed);

 private:
  std::string text_;
  ConsoleCapture* outer_;
};

}  // namespace talmora
