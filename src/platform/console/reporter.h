#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace talmora {

// What a reader expected of a value it refused.
enum class Expectation { kNumber, kInteger, kFlag, kPositive, kNotNegative, kColour };

struct Refusal {
  std::string name;
  std::string text;  // after "now"/"last"
  Expectation expected;
  // A number read from the start of its text, the rest ignored: what it was read as. Nothing was
  // refused then.
  std::optional<double> read_as = std::nullopt;
  std::string ignored = {};
  // A problem the reader words itself (a time before 0, a key outside its window), and the
  // script's line it is about when that is not the element's own.
  std::string words = {};
  int line = 0;

  // The readers have always let these pass without a word: a number with text after it, and a
  // flag word they do not know.
  bool Quiet() const { return words.empty() && (read_as.has_value() || expected == Expectation::kFlag); }
};

// "<name>エラー : プロパティの値が不正です - [<text>]": how the console tells of a value it cannot use.
inline std::string InvalidValueLine(const std::string& name, const std::string& text) {
  return name + "エラー : プロパティの値が不正です - [" + text + "]";
}

// Where the program's messages go. Every part that speaks is handed one; which one decides
// whether the user sees the lines now, later, or in another form.
class Reporter {
 public:
  virtual ~Reporter() = default;

  // One message, a line of its own.
  virtual void Line(std::string_view text) = 0;
  // Text as it is, without a line feed (the frame counter, lines held back elsewhere).
  virtual void Raw(std::string_view text) = 0;
  // A value a reader refused, or read only in part. Unless the reporter collects them, a refused
  // value is said as the invalid-value line and a quiet one not at all; true when it was said,
  // the run then counting it as a failure.
  virtual bool Refused(const Refusal& refusal);
};

// Standard output, flushed after every message. When its reader has gone, the process ends as
// OnStandardOutputGone says.
class ConsoleReporter final : public Reporter {
 public:
  void Line(std::string_view text) override;
  void Raw(std::string_view text) override;
};

// Keeps what it hears until it is taken: for a caller that decides later whether, and when, the
// lines reach the user.
class HeldReporter final : public Reporter {
 public:
  void Line(std::string_view text) override;
  void Raw(std::string_view text) override { text_.append(text); }

  const std::string& Text() const { return text_; }
  std::string Take();

 private:
  std::string text_;
};

// What ends the process when standard output's reader has gone (a write fails with EPIPE, SIGPIPE
// being ignored). By default it ends at once with status 141, as SIGPIPE would end it.
void OnStandardOutputGone(void (*end)());

}  // namespace talmora
