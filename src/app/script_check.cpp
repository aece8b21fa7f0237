#include "app/script_check.h"

extern "C" {
#include <libavutil/error.h>
}

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <vector>

#include "app/object_kinds.h"
#include "app/runtime.h"
#include "audio/sound.h"
#include "platform/console/reporter.h"
#include "platform/vector/vector_paint.h"
#include "platform/render/clip_decoder.h"
#include "platform/render/graphics_device.h"
#include "platform/render/texture.h"
#include "platform/sound/sound_system.h"
#include "platform/text/font_face.h"
#include "script/file_path.h"
#include "script/number_text.h"
#include "script/property_readers.h"
#include "script/xml_parser.h"
#include "video/captions.h"
#include "video/easing.h"
#include "video/frame_timing.h"
#include "video/image.h"
#include "video/text.h"

namespace talmora {
namespace {


std::string Suggestion(std::string_view word, std::span<const std::string_view> names) {
  const auto nearest = NearestName(word, names);
  return nearest ? " (" + std::string(*nearest) + " の誤りでは?)" : std::string();
}

std::string Expected(Expectation expected) {
  switch (expected) {
    case Expectation::kNumber:
      return "数値が必要です";
    case Expectation::kInteger:
      return "整数が必要です";
    case Expectation::kFlag:
      return "yes/no/true/false/1/0 のいずれかが必要です";
    case Expectation::kPositive:
      return "0より大きい数値が必要です";
    case Expectation::kNotNegative:
      return "0以上の数値が必要です";
    case Expectation::kColour:
      return "#rgb、#rrggbb、#rrggbbaa か 0から1の数値4つが必要です";
  }
  return {};
}

// A refused value, or a number read from the start of its text.
std::string ValueReport(const Refusal& refusal) {
  if (refusal.read_as) {
    return "属性 " + refusal.name + " の値 [" + refusal.text + "] は " + Shortest(*refusal.read_as) +
           " と読まれます (続く [" + refusal.ignored + "] は無視されます)";
  }
  return "属性 " + refusal.name + " の値 [" + refusal.text + "] は読めません (" + Expected(refusal.expected) + ")";
}

// Whether a value the reader took lies outside its row's range. Colours only above, where a 0-255
// value is the likely slip; below they wrap as they always have, unreported.
bool OutOfRange(const Attribute& row, double value) {
  return row.type == ValueType::kColour ? value > row.max : !(value >= row.min && value <= row.max);
}

std::string RangeReport(const Attribute& row, const std::string& name, double value) {
  const std::string head = "属性 " + name + " の値 " + Shortest(value);
  if (row.type == ValueType::kColour) {
    return head + " は色の範囲を超えています: 色の成分は" + Shortest(row.min) + "から" + Shortest(row.max) +
           "です (255 なら " + Shortest(row.max) + " のつもりでは?)";
  }
  return head + " は " + Shortest(row.min) + " から " + Shortest(row.max) +
         (row.unit.empty() ? "" : " (" + std::string(row.unit) + ")") + " の外です";
}

// Each name a row stands for, with the end partner after it.
template <typename Visit>
void ForEachName(const ElementKind& kind, Visit visit) {
  for (const auto group : kind.groups) {
    for (const Attribute& row : group) {
      visit(row, std::string(row.name));
      if (row.motion == Motion::kToEnd) visit(row, std::string(row.name) + "end");
    }
  }
}

// The names and lines of values taken but out of range, colours last; `value` gives what was
// read of a name, if anything.
template <typename Value>
std::vector<std::pair<std::string, std::string>> RangeReports(const ElementKind& kind, Value value) {
  std::vector<std::pair<std::string, std::string>> lines;
  for (const bool colours : {false, true}) {
    ForEachName(kind, [&](const Attribute& row, const std::string& name) {
      if ((row.type == ValueType::kColour) != colours || (std::isinf(row.min) && std::isinf(row.max))) return;
      const std::optional<double> read = value(name);
      if (read && OutOfRange(row, *read)) lines.emplace_back(name, RangeReport(row, name, *read));
    });
  }
  return lines;
}

struct Problem {
  int line;
  std::string element;
  std::string message;
};

// What the reading says, as the check hears it: the refusals kept for its own lines, the rest
// (a sound's or an ease's line) said again in the check's form.
class RefusalsHeard final : public Reporter {
 public:
  void Line(std::string_view) override {}
  void Raw(std::string_view) override {}
  bool Refused(const Refusal& refusal) override {
    refusals_.push_back(refusal);
    return false;
  }
  // The refusals heard since the last call.
  std::vector<Refusal> Take() { return std::exchange(refusals_, {}); }

 private:
  std::vector<Refusal> refusals_;
};

// A drawn or sounding object as the reading left it, for the checks that need the whole script.
struct ReadObject {
  const ScriptTag* tag;
  std::shared_ptr<VideoObject> video;
  std::shared_ptr<Sound> sound;
  std::shared_ptr<Captions> captions;
  std::string template_name;  // the one it borrows from, after "last"
  std::string written_src;    // as the script gives it, after "last"
  bool window_refused = false;
};

class Checker {
 public:
  Checker(Runtime& runtime, const TagList& tags) : runtime_(runtime), tags_(tags) {}
  Checker(const Checker&) = delete;
  Checker& operator=(const Checker&) = delete;

  std::vector<Problem> Run();

 private:
  void Report(const ScriptTag& tag, std::string message) {
    problems_.push_back({tag.line, tag.name, std::move(message)});
  }
  // The template an element borrows from, by the name it gives (after "last"); empty name when
  // none.
  std::string TemplateName(const ScriptTag& tag) const;
  // Whether `name` is on the tag or in the template it borrows from.
  bool Given(const ScriptTag& tag, const std::string& template_name,
             const std::string& name) const {
    return tag.attributes.contains(name) ||
           runtime_.templates.GetTemplate(template_name).contains(name);
  }
  // " (テンプレートの N 行目から)" when `name` came from the element's template.
  std::string Origin(const ScriptTag& tag, const std::string& template_name,
                     const std::string& name) const;
  void CheckNames(const ScriptTag& tag, const ElementKind& kind);
  // The text given for `name`, own or lent, with "last" as the keeper has it before the read.
  const std::string* GivenText(const ScriptTag& tag, const std::string& template_name,
                               const std::string& name);
  void CheckWords(const ScriptTag& tag, const ElementKind& kind, const std::string& template_name,
                  ValueType type);
  void ReadChild(const ScriptTag& tag, const ElementKind& kind);
  void CheckRoot(double& length);
  void CheckShape(const ReadObject& object);
  void CheckWindow(const ReadObject& object, double length);
  void CheckPicture(const ReadObject& object);
  void CheckSound(const ReadObject& object);
  void CheckFace(const ReadObject& object);
  void CheckCaptions(const ReadObject& object);

  Runtime& runtime_;
  const TagList& tags_;
  RefusalsHeard refusals_;
  // The run's instances, the objects reading to the check.
  ScriptContext context_{runtime_.keeper, runtime_.templates, runtime_.global, refusals_,
                         runtime_.context.graphics, runtime_.context.sounds};
  ObjectFactory factory_{context_, ObjectKinds()};
  std::map<std::string, int> template_lines_;
  std::vector<ReadObject> objects_;
  std::vector<Problem> problems_;
  std::map<std::string, std::optional<std::string>> pictures_;  // path → why it does not load
  std::set<std::string> faces_;           // reported or installed
  std::string last_;  // GivenText's "last"
};

std::string Checker::TemplateName(const ScriptTag& tag) const {
  const auto own = tag.attributes.find("template");
  if (own == tag.attributes.end()) return {};
  return own->second == "last" ? runtime_.keeper.Get("template") : own->second;
}

std::string Checker::Origin(const ScriptTag& tag, const std::string& template_name,
                            const std::string& name) const {
  if (template_name.empty() || tag.attributes.contains(name)) return {};
  const auto line = template_lines_.find(template_name);
  if (line == template_lines_.end() ||
      !runtime_.templates.GetTemplate(template_name).contains(name)) {
    return {};
  }
  return " (" + std::to_string(line->second) + "行目のテンプレートから)";
}

void Checker::CheckNames(const ScriptTag& tag, const ElementKind& kind) {
  for (std::string_view name : UnreadAttributes(kind, tag.attributes)) {
    Report(tag, "属性 " + std::string(name) + " は読まれません" + Suggestion(name, AttributeNames(kind)));
  }
}

const std::string* Checker::GivenText(const ScriptTag& tag, const std::string& template_name,
                                      const std::string& name) {
  const std::string* given = nullptr;
  if (auto own = tag.attributes.find(name); own != tag.attributes.end()) {
    given = &own->second;
  } else {
    const AttributeMap& borrowed = runtime_.templates.GetTemplate(template_name);
    if (auto lent = borrowed.find(name); lent != borrowed.end()) given = &lent->second;
  }
  if (!given || *given != "last") return given;
  last_ = runtime_.keeper.Get(name);
  return &last_;
}

std::string OneOf(std::span<const std::string_view> words) {
  std::string list;
  for (std::string_view word : words) list += (list.empty() ? "" : "/") + std::string(word);
  return " (" + list + " のいずれかが必要です)";
}

// Words (kWord) the reader ignores without a word when it does not know them, and eases (kEase)
// it prints rather than notes when it cannot read them.
void Checker::CheckWords(const ScriptTag& tag, const ElementKind& kind, const std::string& template_name,
                         ValueType type) {
  ForEachName(kind, [&](const Attribute& row, const std::string& name) {
    if (row.type != type) return;
    const std::string* word = GivenText(tag, template_name, name);
    if (!word) return;
    const bool known = type == ValueType::kEase
                           ? ParseEase(*word).has_value()
                           : std::find(row.words.begin(), row.words.end(), *word) != row.words.end();
    if (known) return;
    Report(tag, "属性 " + name + " の値 [" + *word + "] は読めません" + OneOf(row.words) +
                    Origin(tag, template_name, name));
  });
}

void Checker::ReadChild(const ScriptTag& tag, const ElementKind& kind) {
  const std::string template_name = TemplateName(tag);
  if (!template_name.empty() && !template_lines_.contains(template_name)) {
    std::vector<std::string_view> names;
    for (const auto& [name, line] : template_lines_) names.push_back(name);
    Report(tag,
           "テンプレート " + template_name + " はありません" + Suggestion(template_name, names));
  }
  CheckWords(tag, kind, template_name, ValueType::kWord);
  CheckWords(tag, kind, template_name, ValueType::kEase);
  ReadObject object{&tag, nullptr, nullptr, nullptr, template_name, {}, false};
  const std::shared_ptr<Object> made = factory_.Create(tag);
  object.video = std::dynamic_pointer_cast<VideoObject>(made);
  object.sound = std::dynamic_pointer_cast<Sound>(made);
  object.captions = std::dynamic_pointer_cast<Captions>(made);
  // A caption's face and shape are its cues'.
  if (object.captions && !object.captions->members.empty()) {
    object.video = std::dynamic_pointer_cast<VideoObject>(object.captions->members.front());
  }
  if (Given(tag, template_name, "src")) object.written_src = runtime_.keeper.Get("src");
  for (const Refusal& refusal : refusals_.Take()) {
    if (!refusal.words.empty()) {
      // A key's problem is its own line's, wherever the key stands.
      problems_.push_back({refusal.line > 0 ? refusal.line : tag.line, refusal.line > 0 ? "key" : tag.name,
                           refusal.words});
      continue;
    }
    const bool window = refusal.name == "time" || refusal.name == "duration" || refusal.name == "timeend";
    if (window && !refusal.read_as) object.window_refused = true;
    Report(tag, ValueReport(refusal) + Origin(tag, template_name, refusal.name));
  }
  // What the reader took is what the keeper holds after it.
  const auto taken = [&](const std::string& name) -> std::optional<double> {
    if (!Given(tag, template_name, name)) return std::nullopt;
    return ParseNumber(runtime_.keeper.Get(name));
  };
  for (const auto& [name, line] : RangeReports(kind, taken)) Report(tag, line + Origin(tag, template_name, name));
  objects_.push_back(std::move(object));
}

// The movie settings, read after the objects as the movie pass reads them; gives the length.
void Checker::CheckRoot(double& length) {
  const ScriptTag& root = tags_.front();
  CheckNames(root, RootKind());
  std::map<std::string, double> read;
  ForEachName(RootKind(), [&](const Attribute& row, const std::string& name) {
    if (row.type == ValueType::kInteger) {
      if (int32_t value = 0; ReadPlainInteger(root.attributes, name, value, refusals_)) read[name] = value;
    } else if (double value = 0.0; ReadPlainNumber(root.attributes, name, value, refusals_)) {
      read[name] = value;
    }
  });
  if (const auto given = read.find("length"); given != read.end()) length = given->second;
  for (const Refusal& refusal : refusals_.Take()) Report(root, ValueReport(refusal));
  const auto taken = [&](const std::string& name) -> std::optional<double> {
    const auto given = read.find(name);
    return given == read.end() ? std::nullopt : std::optional(given->second);
  };
  for (auto& [name, line] : RangeReports(RootKind(), taken)) Report(root, std::move(line));
}

void Checker::CheckShape(const ReadObject& object) {
  const VideoObject& v = *object.video;
  const ScriptTag& tag = *object.tag;
  const auto given = [&](const char* name) { return Given(tag, object.template_name, name); };
  // The end size follows the start size unless given, so one slip is reported once.
  const auto check = [&](double value, const char* name, const char* edge, const char* what,
                         bool follows) {
    if (!(value < 0.0) || (follows && !given(name) && !given(edge))) return;
    const char* attribute = given(name) || !given(edge) ? name : edge;
    Report(tag, std::string(what) + "が負の値です (" + attribute + " で " + Shortest(value) + ")");
  };
  check(v.width.First(), "width", "right", "幅", false);
  check(v.width.Last(), "widthend", "rightend", "終わりの幅", v.width.First() < 0.0);
  check(v.height.First(), "height", "bottom", "高さ", false);
  check(v.height.Last(), "heightend", "bottomend", "終わりの高さ", v.height.First() < 0.0);
}

void Checker::CheckWindow(const ReadObject& object, double length) {
  if (object.window_refused || object.captions || (!object.video && !object.sound)) return;
  const Object& o = object.video ? static_cast<const Object&>(*object.video) : *object.sound;
  const std::string never = object.video ? "表示されません" : "鳴りません";
  const ScriptTag& tag = *object.tag;
  if (o.end < o.start) {
    Report(tag, "終了時刻 " + Shortest(o.end) + " 秒が開始時刻 " + Shortest(o.start) +
                    " 秒より前です: " + never);
  } else if (object.video && o.end == o.start) {
    Report(tag, Given(tag, object.template_name, "time")
                    ? "表示時間が0秒です (duration も timeend もありません): " + never
                    : "time がありません: " + never);
  } else if (o.start >= length) {
    Report(tag, "開始時刻 " + Shortest(o.start) + " 秒が動画の長さ " + Shortest(length) +
                    " 秒以降です: " + never);
  }
}

void Checker::CheckPicture(const ReadObject& object) {
  const auto* image = dynamic_cast<const Image*>(object.video.get());
  if (!image) return;
  if (object.written_src.empty()) {
    Report(*object.tag, "src がありません: 表示されません");
    return;
  }
  if (!ReadableFilePath(image->src)) {
    Report(*object.tag, "画像ファイル " + object.written_src + " が見つかりません");
    return;
  }
  auto [known, inserted] = pictures_.emplace(image->src, std::nullopt);
  if (inserted) {
    GraphicsDevice* graphics = runtime_.device.Graphics();
    if (!graphics) {
      known->second = "描画装置がありません";
    } else if (IsVectorPicture(image->src)) {
      if (auto vector = VectorPicture::Load(image->src); !vector) known->second = vector.error().what;
    } else if (image->ClipSeconds()) {
      if (auto clip = ClipDecoder::Open(image->src); !clip) known->second = clip.error().what;
    } else if (auto texture = graphics->LoadTexture(image->src); !texture) {
      known->second = texture.error().what;
    }
  }
  if (known->second) {
    Report(*object.tag, "画像ファイル " + object.written_src + " を画像として読み込めません (" + *known->second + ")");
  }
}

void Checker::CheckSound(const ReadObject& object) {
  if (!object.sound) return;
  const std::string& path = object.sound->path;
  if (object.written_src.empty()) {
    Report(*object.tag, "src がありません: 鳴りません");
    return;
  }
  if (!ReadableFilePath(path)) {
    Report(*object.tag, "音声ファイル " + object.written_src + " が見つかりません");
    return;
  }
  SoundSystem* system = runtime_.device.Sounds();
  if (!system) return;
  if (const auto opened = system->OpenStream(path); !opened) {
    Report(*object.tag,
           "音声ファイル " + object.written_src + " を読み込めません (" + opened.error().what + ")");
  }
}

void Checker::CheckFace(const ReadObject& object) {
  const auto* text = dynamic_cast<const Text*>(object.video.get());
  if (!text || text->face == kDefaultFace) return;
  if (faces_.contains(text->face) || ResolveFace(text->face) == text->face) {
    faces_.insert(text->face);
    return;
  }
  Report(*object.tag, "書体 " + text->face + " はインストールされていません: " +
                          std::string(kFallbackFace) + " で描きます");
}

void Checker::CheckCaptions(const ReadObject& object) {
  const Captions* captions = object.captions.get();
  if (!captions) return;
  const ScriptTag& tag = *object.tag;
  for (const auto& [name, text] : captions->bad_colours) {
    Report(tag, "属性 " + name + " の値 [" + text + "] は読めません (" + Expected(Expectation::kColour) + ")" +
                    Origin(tag, object.template_name, name));
  }
  if (tag.attributes.contains("sentence")) Report(tag, "属性 sentence は使われません: 文は字幕ファイルから取ります");
  if (captions->written_src.empty()) {
    Report(tag, "src がありません: 表示されません");
    return;
  }
  if (!captions->opened) {
    Report(tag, "字幕ファイル " + captions->written_src +
                    (ReadableFilePath(captions->src) ? " を読み込めません" : " が見つかりません"));
    return;
  }
  for (const std::string& problem : captions->problems) Report(tag, problem);
  // A cue that begins and ends between two frames is drawn on none, as any element would be.
  int32_t fps = 30;
  ReadPlainInteger(tags_.front().attributes, "fps", fps, refusals_);
  refusals_.Take();
  for (size_t i = 0; fps > 0 && i < captions->members.size(); ++i) {
    const Object& cue = *captions->members[i];
    const double first = std::max(0.0, std::floor(cue.start * fps) - 1);
    if (!(first < kMaxFrameCount)) continue;
    auto frame = static_cast<int32_t>(first);
    while (frame < kMaxFrameCount && !(cue.start < FrameTime(frame, fps))) ++frame;
    if (FrameTime(frame, fps) > cue.end) {
      Report(tag, captions->written_src + ":" + std::to_string(captions->cue_lines[i]) +
                      ": 字幕が短すぎてどのフレームにも表示されません (" + Shortest(cue.start) + " 秒から " +
                      Shortest(cue.end) + " 秒)");
    }
  }
  if (captions->members.empty() && captions->problems.empty()) {
    Report(tag, "字幕ファイル " + captions->written_src + " に字幕がありません");
  }
}

std::vector<Problem> Checker::Run() {
  runtime_.templates.AddTemplates(tags_);
  runtime_.keeper.Clear();
  for (const ScriptTag& tag : tags_) {
    const auto name = tag.attributes.find("name");
    if (tag.name == "template" && name != tag.attributes.end())
      template_lines_.emplace(name->second, tag.line);
  }
  std::vector<std::string_view> elements;
  for (const ElementKind& kind : ElementKinds().subspan(1)) {
    if (!kind.nested) elements.push_back(kind.tag);
  }
  double length = 0.0;
  for (size_t i = 1; i < tags_.size(); ++i) {
    const ScriptTag& tag = tags_[i];
    const ElementKind* kind = ChildKind(tag.name);
    if (!kind) {
      Report(tag, tag.name == KeyKind().tag ? "key は image、text、rect、ellipse、sound の中に置きます: 読まれません"
                                            : "不明な要素です" + Suggestion(tag.name, elements));
      continue;
    }
    CheckNames(tag, *kind);
    if (!kind->make) continue;
    ReadChild(tag, *kind);
    const ReadObject& read = objects_.back();
    if (read.captions) length = std::max(length, read.captions->end);
    else if (read.video) length = std::max(length, read.video->end);
  }
  CheckRoot(length);
  for (const ReadObject& object : objects_) {
    if (object.video) CheckShape(object);
    CheckWindow(object, length);
    CheckPicture(object);
    CheckSound(object);
    CheckFace(object);
    CheckCaptions(object);
  }
  // Each element's lines together, in the order of the file.
  std::stable_sort(problems_.begin(), problems_.end(),
                   [](const Problem& p, const Problem& q) { return p.line < q.line; });
  return std::move(problems_);
}

}  // namespace

void ReportUnreadNames(const TagList& tags, Reporter& reporter, RunOutcome& outcome) {
  const size_t count = CountUnreadNames(tags);
  if (count == 0) return;
  reporter.Line("警告 : 不明な要素・属性が " + std::to_string(count) + " 個あります (--check で一覧を表示します)");
  outcome.NoteFailed();
}

int CheckScriptFile(Runtime& runtime, const std::string& full_path, const std::string& shown_path) {
  Reporter& reporter = runtime.context.reporter;
  // The loader's lines matter only when it fails.
  HeldReporter loader_report;
  XMLParser parser(loader_report);
  if (!parser.Load(full_path)) {
    reporter.Raw(loader_report.Text());
    return 1;
  }
  const std::vector<Problem> problems = Checker(runtime, parser.Tags()).Run();
  for (const Problem& problem : problems) {
    reporter.Line(shown_path + ":" + std::to_string(problem.line) + ": <" + problem.element +
              ">: " + problem.message);
  }
  reporter.Line("チェック完了 : 問題 " + std::to_string(problems.size()) + " 件");
  return problems.empty() ? 0 : 2;
}

}  // namespace talmora
