#include "app/command_line.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string_view>

#include "platform/movie/joined_file.h"
#include "script/number_text.h"

namespace talmora {
namespace {

constexpr std::string_view kBadValue = "エラー : オプションの値が不正です - ";
// Stands in the help for the joined file's extensions, which its writer knows.
constexpr std::string_view kContainersMark = "{containers}";

// ".mkv .mp4 .mov .avi"
std::string ContainerList() {
  std::string list;
  for (std::string_view extension : JoinedExtensions()) list.append(list.empty() ? "" : " ").append(extension);
  return list;
}

// Sets the option from its value text (empty for options without one); false with `error` set.
using Setter = bool (*)(CommandLine& line, std::string_view name, std::string_view value, std::string& error);

struct Option {
  std::string_view name;
  std::string_view short_name;  // empty when there is none
  std::string_view value_name;  // empty for a switch
  std::string_view meaning;
  Setter set;
};

std::string Refusal(std::string_view name, std::string_view value, std::string_view expected) {
  return std::string(kBadValue) + std::string(name) + " " + std::string(value) + " (" + std::string(expected) + ")";
}

// The compressor settings keep their messages and their lenient reading (trailing text ignored).
bool SetInteger(std::optional<int32_t>& target, std::string_view name, std::string_view value, std::string& error) {
  const auto parsed = ParseInteger(value);
  if (!parsed) {
    error = std::string(kBadValue) + std::string(name);
    return false;
  }
  target = *parsed;
  return true;
}

// The whole text must be a finite number: "10s" or "1e999" is a typing error, not 10 or infinity.
std::optional<double> StrictNumber(std::string_view text) {
  if (text.starts_with('+')) text.remove_prefix(1);
  double value = 0.0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) {
    return std::nullopt;
  }
  return value;
}

// A whole decimal number, nothing after it.
std::optional<int32_t> StrictInteger(std::string_view text) {
  int32_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

constexpr int32_t kMostParts = 10000;

bool SetPart(CommandLine& line, std::string_view name, std::string_view value, std::string& error) {
  const size_t slash = value.find('/');
  const std::string_view index = value.substr(0, slash);
  const auto count = slash == std::string_view::npos ? std::nullopt : StrictInteger(value.substr(slash + 1));
  const auto k = index == "auto" ? std::optional<int32_t>(0) : StrictInteger(index);
  if (!count || !k || *count < 1 || *count > kMostParts || *k < 0 || *k > *count || (*k == 0 && index != "auto")) {
    error = Refusal(name, value, "K/N または auto/N、1 ≤ K ≤ N ≤ " + std::to_string(kMostParts));
    return false;
  }
  line.part = PartNumber{*k, *count};
  return true;
}

bool SetSeconds(std::optional<double>& target, std::string_view name, std::string_view value, std::string& error) {
  const auto seconds = StrictNumber(value);
  if (!seconds || *seconds < 0.0) {
    error = Refusal(name, value, "0以上の秒数");
    return false;
  }
  target = *seconds;
  return true;
}

constexpr Option kOptions[] = {
    {"--codec", "", "FOURCC", "圧縮形式 (メニューを出さずに選びます。--list-codecs で一覧)",
     [](CommandLine& l, std::string_view, std::string_view v, std::string&) {
       l.movie.codec = std::string(v);
       return true;
     }},
    {"--quality", "", "N", "圧縮の品質 (0 から 10000)",
     [](CommandLine& l, std::string_view n, std::string_view v, std::string& e) {
       return SetInteger(l.movie.quality, n, v, e);
     }},
    {"--keyframe", "", "N", "N フレームごとにキーフレーム",
     [](CommandLine& l, std::string_view n, std::string_view v, std::string& e) {
       return SetInteger(l.movie.keyframe, n, v, e);
     }},
    {"--datarate", "", "KBPS", "データレート (KB/秒)",
     [](CommandLine& l, std::string_view n, std::string_view v, std::string& e) {
       return SetInteger(l.movie.datarate, n, v, e);
     }},
    {"--list-codecs", "", "", "使える圧縮形式を一覧して終了",
     [](CommandLine& l, std::string_view, std::string_view, std::string&) { return l.list_codecs = true; }},
    {"--check", "", "", "スクリプトを読んで問題をすべて報告し、何も書き出さない",
     [](CommandLine& l, std::string_view, std::string_view, std::string&) { return l.check = true; }},
    {"--output", "-o", "PATH",
     "映像と音声を一つのファイルにも書き出す ({containers})。--frame では PNG 画像の出力先",
     [](CommandLine& l, std::string_view, std::string_view v, std::string&) {
       l.output = std::string(v);
       return true;
     }},
    {"--frame", "", "SECONDS", "その時刻に表示される1フレームだけを PNG 画像に書き出す",
     [](CommandLine& l, std::string_view n, std::string_view v, std::string& e) { return SetSeconds(l.frame, n, v, e); }},
    {"--from", "", "SECONDS", "この時刻からのフレームと音声だけを書き出す",
     [](CommandLine& l, std::string_view n, std::string_view v, std::string& e) { return SetSeconds(l.from, n, v, e); }},
    {"--to", "", "SECONDS", "この時刻より前のフレームと音声だけを書き出す",
     [](CommandLine& l, std::string_view n, std::string_view v, std::string& e) { return SetSeconds(l.to, n, v, e); }},
    {"--scale", "", "FACTOR", "幅・高さ・位置・文字の大きさを FACTOR 倍にして描く (0 より大きく 4 以下)",
     [](CommandLine& l, std::string_view n, std::string_view v, std::string& e) {
       const auto factor = StrictNumber(v);
       if (!factor || !(*factor > 0.0 && *factor <= 4.0)) {
         e = Refusal(n, v, "0より大きく4以下の数");
         return false;
       }
       l.scale = *factor;
       return true;
     }},
    {"--part", "", "K/N", "動画を N 個の部品に分けて K 番目だけを描く (auto/N: K はジョブの番号から)",
     [](CommandLine& l, std::string_view n, std::string_view v, std::string& e) { return SetPart(l, n, v, e); }},
    {"--join", "", "N", "N 個の部品をつないで動画と音声にする (-o で一つのファイルにも)",
     [](CommandLine& l, std::string_view n, std::string_view v, std::string& e) {
       const auto count = StrictInteger(v);
       if (!count || *count < 1 || *count > kMostParts) {
         e = Refusal(n, v, "1 から " + std::to_string(kMostParts) + " までの部品の数");
         return false;
       }
       l.join = *count;
       return true;
     }},
    {"--progress", "", "PATH", "進み具合を key=value の行で PATH に書く (- は標準エラー出力)",
     [](CommandLine& l, std::string_view, std::string_view v, std::string&) {
       l.progress = std::string(v);
       return true;
     }},
    {"--serve", "", "", "プレビューのページを 127.0.0.1 で開き、スクリプトの保存に合わせて描き直す (何も書き出さない)",
     [](CommandLine& l, std::string_view, std::string_view, std::string&) { return l.serve = true; }},
    {"--port", "", "N", "--serve のポート番号 (既定は 8080、0 は空いている番号)",
     [](CommandLine& l, std::string_view n, std::string_view v, std::string& e) {
       const auto port = StrictInteger(v);
       if (!port || *port < 0 || *port > 65535) {
         e = Refusal(n, v, "0 から 65535 までのポート番号");
         return false;
       }
       l.port = *port;
       return true;
     }},
    {"--help", "-h", "", "この使い方を表示して終了",
     [](CommandLine& l, std::string_view, std::string_view, std::string&) { return l.help = true; }},
    {"--version", "", "", "talmora と使っているライブラリの版を表示して終了",
     [](CommandLine& l, std::string_view, std::string_view, std::string&) { return l.version = true; }},
};

const Option* FindOption(std::string_view arg) {
  for (const Option& option : kOptions) {
    if (arg == option.name || (!option.short_name.empty() && arg == option.short_name)) return &option;
  }
  return nullptr;
}

bool HasExtension(const std::string& path, std::string_view extension) {
  const size_t slash = path.rfind('/');
  const std::string_view name = std::string_view(path).substr(slash == std::string::npos ? 0 : slash + 1);
  if (name.size() <= extension.size()) return false;
  return std::equal(extension.begin(), extension.end(), name.end() - static_cast<std::ptrdiff_t>(extension.size()),
                    [](char a, char b) { return a == (b >= 'A' && b <= 'Z' ? static_cast<char>(b - 'A' + 'a') : b); });
}

// Options that make sense alone but not together, and values that depend on each other.
std::string Contradiction(const CommandLine& line) {
  const auto both = [](std::string_view a, std::string_view b) {
    return "エラー : オプション " + std::string(a) + " と " + std::string(b) + " は同時に指定できません";
  };
  if (line.check && line.frame) return both("--check", "--frame");
  if (line.check && (line.from || line.to)) return both("--check", line.from ? "--from" : "--to");
  if (line.check && line.output) return both("--check", "--output");
  if (line.frame && (line.from || line.to)) return both("--frame", line.from ? "--from" : "--to");
  // A part is cut from the whole movie, and the join makes the whole movie: neither takes a
  // stretch, a single frame or a check, and only the join writes one playable file.
  for (const auto& [set, name] : {std::pair{line.part.has_value(), "--part"}, {line.join.has_value(), "--join"}}) {
    if (!set) continue;
    if (line.check) return both("--check", name);
    if (line.frame) return both("--frame", name);
    if (line.from || line.to) return both(line.from ? "--from" : "--to", name);
  }
  if (line.part && line.join) return both("--part", "--join");
  // The page renders on demand and writes nothing: every option that says what to write is out.
  if (line.serve) {
    for (const auto& [set, name] : {std::pair{line.check, "--check"}, {line.frame.has_value(), "--frame"},
                                    {line.from.has_value(), "--from"}, {line.to.has_value(), "--to"},
                                    {line.output.has_value(), "--output"}, {line.part.has_value(), "--part"},
                                    {line.join.has_value(), "--join"}, {line.progress.has_value(), "--progress"}}) {
      if (set) return both("--serve", name);
    }
  }
  if (line.port && !line.serve) return "エラー : --port は --serve と一緒に指定します";
  if (line.part && line.output) return both("--part", "--output");
  if (line.join && line.progress) return both("--join", "--progress");
  if (line.part && !line.movie.codec) {
    return "エラー : --part には --codec が必要です (部品はどれも同じ圧縮形式で描きます)";
  }
  if (line.from && line.to && !(*line.from < *line.to)) {
    return "エラー : --from (" + Shortest(*line.from) + ") は --to (" + Shortest(*line.to) +
           ") より前でなければなりません";
  }
  if (line.output && line.frame && !HasExtension(*line.output, ".png")) {
    return std::string(kBadValue) + "--output " + *line.output + " (--frame の出力先は .png のファイル)";
  }
  if (line.output && !line.frame &&
      !std::ranges::any_of(JoinedExtensions(), [&](std::string_view e) { return HasExtension(*line.output, e); })) {
    return std::string(kBadValue) + "--output " + *line.output + " (" + ContainerList() + " のいずれかのファイル)";
  }
  return {};
}

}  // namespace

CommandLine ParseCommandLine(int argc, const char* const* argv) {
  CommandLine line;
  for (int i = 1; i < argc && line.error.empty(); ++i) {
    std::string_view arg = argv[i];
    std::optional<std::string_view> attached;  // the value of "--name=value"
    if (const size_t equals = arg.find('='); arg.starts_with("--") && equals != std::string_view::npos) {
      attached = arg.substr(equals + 1);
      arg = arg.substr(0, equals);
    }
    const Option* option = FindOption(arg);
    if (!option) {
      if (arg.size() > 1 && arg.starts_with('-')) {
        line.error = "エラー : 不明なオプションです - " + std::string(argv[i]);
      } else {
        line.scripts.emplace_back(arg);
      }
      continue;
    }
    std::string_view value;
    if (!option->value_name.empty()) {
      if (attached) {
        value = *attached;
      } else if (i + 1 < argc) {
        value = argv[++i];
      } else {
        line.error = std::string(kBadValue) + std::string(option->name);
        break;
      }
    } else if (attached) {
      line.error = std::string(kBadValue) + std::string(argv[i]);
      break;
    }
    option->set(line, option->name, value, line.error);
  }
  if (line.error.empty()) line.error = Contradiction(line);
  return line;
}

std::string TakePartFromEnvironment(CommandLine& line, const std::function<const char*(const char*)>& environment) {
  if (!line.part || line.part->index != 0) return {};
  // Slurm's array counts as the recipe submits it, from 1; Kubernetes and AWS Batch from 0.
  struct Source {
    const char* name;
    int32_t first;
  };
  constexpr Source kSources[] = {
      {"TALMORA_PART", 1}, {"SLURM_ARRAY_TASK_ID", 1}, {"JOB_COMPLETION_INDEX", 0}, {"AWS_BATCH_JOB_ARRAY_INDEX", 0}};
  const std::string asked = "--part auto/" + std::to_string(line.part->count);
  for (const Source& source : kSources) {
    const char* value = environment(source.name);
    if (!value) continue;
    const auto number = StrictInteger(value);
    const int32_t last = line.part->count - 1 + source.first;
    if (!number || *number < source.first || *number > last) {
      return "エラー : " + asked + " の部品番号になりません : " + source.name + "=" + value + " (" +
             std::to_string(source.first) + " から " + std::to_string(last) + " まで)";
    }
    line.part->index = *number - source.first + 1;
    return {};
  }
  std::string names;
  for (const Source& source : kSources) names += std::string(names.empty() ? "" : "、") + source.name;
  return "エラー : " + asked + " の部品番号がありません (" + names + " のどれも設定されていません)";
}

std::string UsageText() {
  std::string text = "使い方 : talmora [オプション] [xmlファイルパス]\n";
  for (const Option& option : kOptions) {
    std::string names = std::string(option.short_name.empty() ? "    " : std::string(option.short_name) + ", ");
    names += option.name;
    if (!option.value_name.empty()) names.append(" ").append(option.value_name);
    names.resize(std::max<size_t>(names.size() + 2, 26), ' ');
    std::string meaning(option.meaning);
    if (const size_t mark = meaning.find(kContainersMark); mark != std::string::npos) {
      meaning.replace(mark, kContainersMark.size(), ContainerList());
    }
    text += "  " + names + meaning + "\n";
  }
  return text;
}

}  // namespace talmora
