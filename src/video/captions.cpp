#include "video/captions.h"

#include <algorithm>
#include <fstream>
#include <map>
#include <numeric>

#include "platform/console/reporter.h"
#include "platform/text/font.h"
#include "platform/text/text_format.h"
#include "script/file_path.h"
#include "script/number_text.h"
#include "script/property_readers.h"
#include "script/subtitles.h"
#include "video/text.h"

namespace talmora {
namespace {

// Subtitle files are small; past this the file is no subtitle file.
constexpr std::streamsize kMaxSubtitleBytes = 64 << 20;

}  // namespace

void Captions::Problem(const std::string& text) {
  problems.push_back(text);
  context_.reporter.Line(text);
  context_.outcome.NoteFailed();
}

void Captions::ReadProperties(AttributeMap& attributes) {
  // Everything a text reads, read once: its refusals are said once, not for every cue.
  Text prototype(context_);
  prototype.ReadProperties(attributes);
  start = end = prototype.start;
  std::string word;
  const bool even = ReadText(attributes, "highlight", word) && word == kHighlightWords[1];
  uint32_t sung_argb = 0xFFFFFF00;
  std::optional<uint32_t> sung_outline_argb;
  for (const char* name : {"highlightcolor", "highlightoutlinecolor"}) {
    if (!ReadText(attributes, name, word)) continue;
    const auto colour = ParseColour(word);
    if (!colour) {
      bad_colours.emplace_back(name, word);
      PrintInvalidValue(context_.reporter, name, word, &context_.outcome);
    } else if (name == std::string_view("highlightcolor")) {
      sung_argb = *colour;
    } else {
      sung_outline_argb = *colour;
    }
  }
  if (!ReadText(attributes, "src", written_src)) return;
  const auto full = ReadableFilePath(written_src);
  src = full.value_or(written_src);
  std::string content;
  if (full) {
    // A piece at a time up to one byte past the limit: the buffer grows with the file, not to the limit.
    std::ifstream file(*full, std::ios::binary);
    char piece[1 << 16];
    while (file && content.size() <= static_cast<size_t>(kMaxSubtitleBytes)) {
      file.read(piece, sizeof piece);
      content.append(piece, static_cast<size_t>(file.gcount()));
    }
    opened = !file.bad() && content.size() <= static_cast<size_t>(kMaxSubtitleBytes);
  }
  if (!opened) {
    Problem("字幕ファイルを読み込めません : " + written_src);
    return;
  }
  ReadCues(prototype, content, even, sung_argb, sung_outline_argb);
}

void Captions::ReadCues(const Text& prototype, const std::string& content, bool even, uint32_t sung_argb,
                        std::optional<uint32_t> sung_outline_argb) {
  Subtitles read = ParseSubtitles(content);
  for (const SubtitleProblem& problem : read.problems) {
    Problem(written_src + ":" + std::to_string(problem.line) + ": " + problem.message);
  }
  const double shift = start;
  for (const SubtitleCue& cue : read.cues) {
    auto text = std::make_shared<Text>(prototype);
    text->start = shift + cue.start;
    text->end = shift + cue.end;
    text->sentence = cue.text;
    if (cue.bold) text->weight = 700;
    if (cue.italic) text->italic = true;
    text->sung = SungMarks(cue, even);
    for (SungMark& mark : text->sung) mark.time += shift;
    text->sung_argb = sung_argb;
    text->sung_outline_argb = sung_outline_argb;
    end = std::max(end, text->end);
    members.push_back(std::move(text));
    cue_lines.push_back(cue.line);
  }
  if (!members.empty()) StoreNumber("timeend", end);
  Stack();
}

// Cues on screen together: each later one takes the lowest free place above those still showing,
// as far as the text's rectangle reaches.
void Captions::Stack() {
  std::vector<size_t> order(members.size());
  std::iota(order.begin(), order.end(), size_t{0});
  const auto cue = [&](size_t i) -> Text& { return static_cast<Text&>(*members[i]); };
  std::stable_sort(order.begin(), order.end(), [&](size_t p, size_t q) { return cue(p).start < cue(q).start; });
  bool overlap = false;
  for (size_t k = 1; k < order.size() && !overlap; ++k) {
    for (size_t j = 0; j < k && !overlap; ++j) overlap = cue(order[j]).end > cue(order[k]).start;
  }
  if (!overlap) return;

  std::map<std::pair<int32_t, bool>, std::unique_ptr<Font>> fonts;
  struct Placed {
    double end, offset, height;
  };
  std::vector<Placed> showing;
  for (const size_t i : order) {
    Text& text = cue(i);
    std::erase_if(showing, [&](const Placed& p) { return p.end <= text.start; });
    auto& font = fonts[{text.weight, text.italic}];
    if (!font) {
      auto made = Font::Create(FontRequest{text.fontsize, text.weight, text.italic, text.face});
      if (!made) return;
      font = std::move(*made);
    }
    const double height = static_cast<double>(
        font->LaidOutHeight(text.sentence, static_cast<int64_t>(text.width.First()), text.format));
    std::vector<double> candidates{0.0};
    for (const Placed& p : showing) candidates.push_back(p.offset + p.height);
    std::sort(candidates.begin(), candidates.end());
    double offset = 0.0;
    for (const double candidate : candidates) {
      const bool free = std::none_of(showing.begin(), showing.end(), [&](const Placed& p) {
        return candidate < p.offset + p.height && p.offset < candidate + height;
      });
      if (free) {
        offset = candidate;
        break;
      }
    }
    if (offset > 0.0 && offset + height > text.height.First()) {
      Problem(written_src + ":" + std::to_string(cue_lines[i]) + ": 重なる字幕を積み上げる場所がありません (高さ " +
              Shortest(text.height.First()) + " に収まりません): 下の字幕に重ねて描きます");
      offset = 0.0;
    }
    showing.push_back({text.end, offset, height});
    if (offset == 0.0) continue;
    if (text.format & DT_BOTTOM) {
      text.height.Shift(-offset);
    } else if (text.format & DT_VCENTER) {
      text.height.Shift(-2 * offset);
    } else {
      text.y.Shift(offset);
      text.height.Shift(-offset);
    }
  }
}

}  // namespace talmora
