#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "script/object.h"

namespace talmora {

inline constexpr std::string_view kHighlightWords[] = {"none", "word"};

// The cues of a subtitle file, each a text read from the element's attributes as a "text"
// element would be, with the cue's times (shifted by "time") and words. Cues that are on screen
// together stack away from the vertical alignment's edge.
class Captions : public ObjectGroup {
 public:
  explicit Captions(ScriptContext& context) : ObjectGroup(context) {}

  void ReadProperties(AttributeMap& attributes) override;

  // As the script names it, and its full path once it opens.
  std::string written_src;
  std::string src;
  bool opened = false;
  // The line of each member's cue in the file.
  std::vector<int> cue_lines;
  // What went wrong with the file, each line "name:line: what", as said on the console.
  std::vector<std::string> problems;
  // Colours the script gave that do not read, by attribute name.
  std::vector<std::pair<std::string, std::string>> bad_colours;

 private:
  void ReadCues(const class Text& prototype, const std::string& content, bool even, uint32_t sung_argb,
                std::optional<uint32_t> sung_outline_argb);
  void Stack();
  void Problem(const std::string& text);
};

}  // namespace talmora
