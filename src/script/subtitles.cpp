#include "script/subtitles.h"

#include <cstdint>
#include <optional>
#include <utility>

namespace talmora {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\f' || c == '\v'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

// The length of the UTF-8 sequence at `i`, 0 when it is none (overlong forms, surrogates and
// NUL included, which no subtitle editor writes).
size_t SequenceLength(std::string_view text, size_t i) {
  const auto byte = [&](size_t k) { return static_cast<uint8_t>(text[k]); };
  const uint8_t lead = byte(i);
  if (lead == 0) return 0;
  if (lead < 0x80) return 1;
  size_t length = 0;
  uint32_t least = 0;
  if ((lead & 0xE0) == 0xC0) length = 2, least = 0x80;
  else if ((lead & 0xF0) == 0xE0) length = 3, least = 0x800;
  else if ((lead & 0xF8) == 0xF0) length = 4, least = 0x10000;
  else return 0;
  if (i + length > text.size()) return 0;
  uint32_t code = lead & (0x7F >> length);
  for (size_t k = 1; k < length; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
    code = code << 6 | (byte(i + k) & 0x3F);
  }
  if (code < least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
  return length;
}

// The line of the first byte that is no UTF-8, if any.
std::optional<int> FirstInvalidLine(std::string_view text) {
  int line = 1;
  for (size_t i = 0; i < text.size();) {
    const size_t length = SequenceLength(text, i);
    if (length == 0) return line;
    line += text[i] == '\n';
    i += length;
  }
  return std::nullopt;
}

// "[h:]mm:ss.ttt", a comma allowed for the point as SRT writes it; hours of any width.
std::optional<double> ParseTimestamp(std::string_view text) {
  int64_t fields[3] = {0, 0, 0};
  int count = 0;
  size_t i = 0;
  while (true) {
    const size_t first = i;
    int64_t value = 0;
    while (i < text.size() && IsDigit(text[i]) && i - first < 9) value = value * 10 + (text[i++] - '0');
    if (i == first || count == 3) return std::nullopt;
    // Minutes and seconds are two digits, below 60.
    if (count > 0 && (i - first != 2 || value >= 60)) return std::nullopt;
    fields[count++] = value;
    if (i < text.size() && text[i] == ':') {
      ++i;
      continue;
    }
    break;
  }
  if (count < 2 || i >= text.size() || (text[i] != '.' && text[i] != ',')) return std::nullopt;
  if (count == 2 && fields[0] >= 60) return std::nullopt;
  ++i;
  if (text.size() - i != 3 || !IsDigit(text[i]) || !IsDigit(text[i + 1]) || !IsDigit(text[i + 2])) return std::nullopt;
  const int64_t millis = (text[i] - '0') * 100 + (text[i + 1] - '0') * 10 + (text[i + 2] - '0');
  const int64_t hours = count == 3 ? fields[0] : 0;
  const int64_t minutes = fields[count - 2];
  const int64_t seconds = fields[count - 1];
  // Whole milliseconds divided once, so that 1.100 is the very double a frame time of 1.1 is.
  return static_cast<double>(((hours * 60 + minutes) * 60 + seconds) * 1000 + millis) / 1000.0;
}

struct Line {
  std::string_view text;
  int number;
};

constexpr std::string_view kTimestampForm = " (時:分:秒,ミリ秒 か 分:秒.ミリ秒 が必要です)";

class CueReader {
 public:
  explicit CueReader(Subtitles& out) : out_(out) {}

  // A block of lines with no blank line among them.
  void Block(const std::vector<Line>& block, bool webvtt) {
    size_t timing = block.size();
    for (size_t i = 0; i < block.size() && i < 2; ++i) {
      if (block[i].text.find("-->") != std::string_view::npos) {
        timing = i;
        break;
      }
    }
    if (timing == block.size()) {
      if (webvtt && IsWebVttNote(block.front().text)) return;
      Problem(block.front().number, "時刻の行 (開始 --> 終了) がありません");
      return;
    }
    SubtitleCue cue;
    cue.line = block[timing].number;
    if (!ReadTiming(block[timing].text, cue)) return;
    for (size_t i = timing + 1; i < block.size(); ++i) {
      if (i > timing + 1) cue.text += '\n';
      ReadWords(Trim(block[i].text), block[i].number, cue);
    }
    if (cue.text.find_first_not_of(" \t\n") == std::string::npos) {
      Problem(cue.line, "字幕の文がありません");
      return;
    }
    out_.cues.push_back(std::move(cue));
  }

 private:
  static bool IsWebVttNote(std::string_view first) {
    for (std::string_view word : {"NOTE", "STYLE", "REGION"}) {
      if (first.starts_with(word) && (first.size() == word.size() || IsBlank(first[word.size()]))) return true;
    }
    return false;
  }

  void Problem(int line, std::string message) { out_.problems.push_back({line, std::move(message)}); }

  bool ReadTiming(std::string_view line, SubtitleCue& cue) {
    const size_t arrow = line.find("-->");
    const std::string_view from = Trim(line.substr(0, arrow));
    std::string_view rest = Trim(line.substr(arrow + 3));
    // Cue settings (WebVTT) or coordinates (some SRT writers) follow the end time.
    const std::string_view to = rest.substr(0, std::min(rest.size(), rest.find_first_of(" \t")));
    bool fine = true;
    for (const auto& [text, value] : {std::pair{from, &cue.start}, std::pair{to, &cue.end}}) {
      if (const auto time = ParseTimestamp(text)) {
        *value = *time;
      } else {
        Problem(cue.line, "時刻 [" + std::string(text) + "] は読めません" + std::string(kTimestampForm));
        fine = false;
      }
    }
    if (fine && cue.end < cue.start) {
      Problem(cue.line, "終了時刻 " + std::string(to) + " が開始時刻 " + std::string(from) + " より前です");
      return false;
    }
    return fine;
  }

  // One line of words: tags dropped, <b> and <i> noted, timestamps kept with where they stand.
  void ReadWords(std::string_view line, int number, SubtitleCue& cue) {
    for (size_t i = 0; i < line.size();) {
      const char c = line[i];
      if (c == '<') {
        const size_t close = line.find('>', i);
        if (close != std::string_view::npos) {
          Tag(line.substr(i + 1, close - i - 1), number, cue);
          i = close + 1;
          continue;
        }
      } else if (c == '&') {
        if (const size_t length = Reference(line.substr(i), cue.text)) {
          i += length;
          continue;
        }
      } else if (c == '{' && i + 1 < line.size() && line[i + 1] == '\\') {
        // A positioning code some SRT writers leave ({\an8}): not words.
        if (const size_t close = line.find('}', i); close != std::string_view::npos) {
          i = close + 1;
          continue;
        }
      }
      cue.text += c;
      ++i;
    }
  }

  void Tag(std::string_view tag, int number, SubtitleCue& cue) {
    if (!tag.empty() && IsDigit(tag.front())) {
      const auto time = ParseTimestamp(tag);
      if (!time) {
        Problem(number, "文中の時刻 <" + std::string(tag) + "> は読めません" + std::string(kTimestampForm));
      } else if (*time < cue.start || *time > cue.end) {
        Problem(number, "文中の時刻 <" + std::string(tag) + "> が字幕の時間の外です");
      } else if (!cue.timestamps.empty() && *time < cue.timestamps.back().time) {
        Problem(number, "文中の時刻 <" + std::string(tag) + "> が前の時刻より前です");
      } else {
        cue.timestamps.push_back({*time, cue.text.size()});
      }
      return;
    }
    const std::string_view name = tag.substr(0, tag.find_first_of(" \t.="));
    if (name == "b" || name == "B") cue.bold = true;
    if (name == "i" || name == "I") cue.italic = true;
  }

  // The length of the character reference at the start of `text`, its character appended; 0
  // when it is none, the ampersand then being a character of its own.
  static size_t Reference(std::string_view text, std::string& out) {
    static constexpr std::pair<std::string_view, std::string_view> kNames[] = {
        {"&amp;", "&"},       {"&lt;", "<"},           {"&gt;", ">"},          {"&quot;", "\""},
        {"&apos;", "'"},      {"&nbsp;", "\u00A0"},    {"&lrm;", "\u200E"},    {"&rlm;", "\u200F"},
    };
    for (const auto& [name, character] : kNames) {
      if (text.starts_with(name)) {
        out += character;
        return name.size();
      }
    }
    return 0;
  }

  Subtitles& out_;
};

}  // namespace

Subtitles ParseSubtitles(std::string_view content) {
  Subtitles result;
  if (content.starts_with("\xFF\xFE") || content.starts_with("\xFE\xFF")) {
    result.problems.push_back({1, "UTF-16 のファイルです: UTF-8 で保存してください"});
    return result;
  }
  if (content.starts_with("\xEF\xBB\xBF")) content.remove_prefix(3);
  if (const auto line = FirstInvalidLine(content)) {
    result.problems.push_back({*line, "UTF-8 ではない文字があります (Shift_JIS などは UTF-8 で保存してください)"});
    return result;
  }
  std::vector<Line> lines;
  int number = 0;
  for (size_t i = 0; i <= content.size();) {
    size_t end = content.find_first_of("\r\n", i);
    if (end == std::string_view::npos) end = content.size();
    lines.push_back({content.substr(i, end - i), ++number});
    if (end == content.size()) break;
    i = end + (content[end] == '\r' && end + 1 < content.size() && content[end + 1] == '\n' ? 2 : 1);
  }
  const bool webvtt = content.starts_with("WEBVTT") && (content.size() == 6 || IsBlank(content[6]) ||
                                                        content[6] == '\r' || content[6] == '\n');
  CueReader reader(result);
  std::vector<Line> block;
  bool header = webvtt;
  for (size_t i = 0; i <= lines.size(); ++i) {
    if (i < lines.size() && !Trim(lines[i].text).empty()) {
      block.push_back(lines[i]);
      continue;
    }
    if (block.empty()) continue;
    // The WebVTT header runs to the first blank line.
    if (!header) reader.Block(block, webvtt);
    header = false;
    block.clear();
  }
  return result;
}

std::vector<SungMark> SungMarks(const SubtitleCue& cue, bool even) {
  std::vector<SungMark> marks;
  const std::string& text = cue.text;
  const auto ink = [&](size_t from, size_t to) {
    return text.substr(from, to - from).find_first_not_of(" \t\n") != std::string::npos;
  };
  if (!cue.timestamps.empty()) {
    if (ink(0, cue.timestamps.front().byte)) marks.push_back({cue.start, cue.timestamps.front().byte});
    for (size_t i = 0; i < cue.timestamps.size(); ++i) {
      const size_t to = i + 1 < cue.timestamps.size() ? cue.timestamps[i + 1].byte : text.size();
      if (ink(cue.timestamps[i].byte, to)) marks.push_back({cue.timestamps[i].time, to});
    }
    return marks;
  }
  if (!even) return marks;
  std::vector<size_t> word_ends;
  for (size_t i = 0; i < text.size(); ++i) {
    const bool space = text[i] == ' ' || text[i] == '\t' || text[i] == '\n';
    const bool last = i + 1 == text.size() || text[i + 1] == ' ' || text[i + 1] == '\t' || text[i + 1] == '\n';
    if (!space && last) word_ends.push_back(i + 1);
  }
  const double span = cue.end - cue.start;
  for (size_t i = 0; i < word_ends.size(); ++i) {
    marks.push_back({cue.start + span * static_cast<double>(i) / static_cast<double>(word_ends.size()), word_ends[i]});
  }
  return marks;
}

}  // namespace talmora
